#pragma once

#include "ConfirmDialog.h"

#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace Ui {
class TAddMdiUserBox;
}

// The operator dialog, used both to add an operator and to modify one; the
// caller fills it and reads it back after the modal loop.
class TAddMdiUserBox final : public ConfirmDialog
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

    // The controls the caller fills and reads.
    QLineEdit* Edit1 = nullptr; // account
    QLineEdit* Edit2 = nullptr; // display name
    QLineEdit* Edit3 = nullptr; // password
    QLineEdit* Edit4 = nullptr; // repeated password
    QLabel* LabelPassword = nullptr;
    QCheckBox* CheckBox1 = nullptr; // read-only

private:
    QString refusal() const override;

    std::unique_ptr<Ui::TAddMdiUserBox> ui;
    Purpose m_purpose;
};

extern TAddMdiUserBox* AddMdiUserBox;
