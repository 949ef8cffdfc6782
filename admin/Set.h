#pragma once

#include "ConfirmDialog.h"

#include <memory>

class QLabel;
class QLineEdit;
class QSpinBox;

namespace Ui {
class TSetBox;
}

// The settings dialog: every operator's own password, and for root also the
// application title and the page size. The caller prepares it, shows it and
// reads it back after the modal loop.
class TSetBox final : public ConfirmDialog
{
    Q_OBJECT

public:
    explicit TSetBox(QWidget* parent = nullptr);
    ~TSetBox() override;

    // The controls the caller fills, hides and reads.
    QLineEdit* Edit1 = nullptr;     // application title
    QLineEdit* Edit2 = nullptr;     // new password
    QLineEdit* Edit3 = nullptr;     // repeated password
    QSpinBox* CSpinEdit1 = nullptr; // records per page
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void placeRepeatedPassword();
    QString refusal() const override;

    std::unique_ptr<Ui::TSetBox> ui;
};

extern TSetBox* SetBox;
