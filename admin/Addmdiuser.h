#pragma once

#include <QDialog>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class TAddMdiUserBox;
}

// The operator dialog, used both to add an operator and to modify one; the
// caller fills it and reads it back after the modal loop.
class TAddMdiUserBox final : public QDialog
{
    Q_OBJECT

public:
    // Modifying keeps the account fixed and a password may stay empty.
    enum class Purpose
    {
        Add,
        Modify
    };

    explicit TAddMdiUserBox(Purpose purpose = Purpose::Add, QWidget* parent = nullptr);
    ~TAddMdiUserBox() override;

    // Set only by a confirmation whose input passed every check.
    bool Confirmed = false;

    // The controls the caller fills and reads.
    QLineEdit* Edit1 = nullptr; // account
    QLineEdit* Edit2 = nullptr; // display name
    QLineEdit* Edit3 = nullptr; // password
    QLineEdit* Edit4 = nullptr; // repeated password
    QLabel* LabelPassword = nullptr;
    QCheckBox* CheckBox1 = nullptr; // read-only
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    void Button1Click();
    void Button2Click();

private:
    void FormCreate();
    QString refusal() const;

    std::unique_ptr<Ui::TAddMdiUserBox> ui;
    Purpose m_purpose;
};

extern TAddMdiUserBox* AddMdiUserBox;
