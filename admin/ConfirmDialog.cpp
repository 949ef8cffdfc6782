#include "ConfirmDialog.h"

#include "common/ErrorReport.h"
#include "common/MessageBox.h"

#include <QPushButton>

void ConfirmDialog::setButtons(QPushButton* confirm, QPushButton* cancel)
{
    Button1 = confirm;
    Button2 = cancel;
    ConnectGuarded(Button1, &QPushButton::clicked, this, &ConfirmDialog::Button1Click);
    ConnectGuarded(Button2, &QPushButton::clicked, this, &ConfirmDialog::Button2Click);
}

void ConfirmDialog::Button1Click()
{
    const QString refused = refusal();
    if (!refused.isEmpty()) {
        MessageBox::Show(refused);
        return;
    }
    Confirmed = true;
    accept();
}

void ConfirmDialog::Button2Click()
{
    reject();
}
