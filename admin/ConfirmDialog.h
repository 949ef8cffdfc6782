#pragma once

#include <QDialog>
#include <QString>

class QPushButton;

// What the operator dialog and the settings dialog share: a confirm button
// that accepts only input passing the dialog's checks (a refusal is shown
// and the input stays as typed) and a cancel button. The caller reads the
// dialog back after the modal loop.
class ConfirmDialog : public QDialog
{
    Q_OBJECT

public:
    // Set only by a confirmation whose input passed every check.
    bool Confirmed = false;

    QPushButton* Button1 = nullptr; // confirm
    QPushButton* Button2 = nullptr; // cancel

    void confirm();
    // Escape and the close box end the dialog the same way.
    void cancel();

protected:
    explicit ConfirmDialog(QWidget* parent) : QDialog(parent) {}

    // Takes the form's two buttons; called once the form is set up.
    void setButtons(QPushButton* confirm, QPushButton* cancel);
    // The first rule the input breaks, or an empty text.
    virtual QString refusal() const = 0;
};
