#include "ConfirmDialog.h"

#include "common/ErrorReport.h"
#include "common/MessageBox.h"

#include <QPushButton>

void ConfirmDialog::setButtons(QPushButton* confirm, QPushButton* cancel)
{
    Button1 = confirm;
    Button2 = cancel;
    ConnectGuarded(Button1, &QPushButton::clicked, this, &ConfirmDialog::confirm);
    ConnectGuarded(Button2, &QPushButton::clicked, this, &ConfirmDialog::cancel);
}

void ConfirmDialog::confirm()
{
    const QString refused = refusal();
    if (!refused.isEmpty()) {
        MessageBox::Show(refused);
        return;
    }
    Confirmed = true;
    accept();
}

void ConfirmDialog::cancel()
{
    reject();
}
