#pragma once

#include <QDialog>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace Ui {
class TSetBox;
}

// The settings dialog: every operator's own password, and for root also the
// application title and the page size. The caller prepares it, shows it and
// reads it back after the modal loop.
class TSetBox final : public QDialog
{
    Q_OBJECT

public:
    explicit TSetBox(QWidget* parent = nullptr);
    ~TSetBox() override;

    // Set only by a confirmation whose input passed every check.
    bool Confirmed = false;

    // The controls the caller fills, hides and reads.
    QLineEdit* Edit1 = nullptr;     // application title
    QLineEdit* Edit2 = nullptr;     // new password
    QLineEdit* Edit3 = nullptr;     // repeated password
    QSpinBox* CSpinEdit1 = nullptr; // records per page
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    void Button1Click();
    void Button2Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    QString refusal() const;

    std::unique_ptr<Ui::TSetBox> ui;
};

extern TSetBox* SetBox;
