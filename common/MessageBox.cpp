#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace MessageBox {

namespace {

Responder& currentResponder()
{
    static Responder responder;
    return responder;
}

int ShowBox(const QString& title, const QString& text, int flags)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    // Messages name records, files and columns from the database: their
    // text is never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setIcon((flags & ErrorIcon) ? QMessageBox::Critical : QMessageBox::NoIcon);
    // The low four bits choose the buttons, as in the desktop's own flags.
    if ((flags & 0x0F) == YesNo) {
        QPushButton* yes = box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("否"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes ? IdYes : IdNo;
    }
    QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return IdOk;
}

} // namespace

int Show(const QString& text, int flags)
{
    return Show(QStringLiteral("提示"), text, flags);
}

int Show(const QString& title, const QString& text, int flags)
{
    if (const Responder responder = currentResponder())
        return responder(Shown{title, text, flags});
    return ShowBox(title, text, flags);
}

void setResponder(Responder responder)
{
    currentResponder() = std::move(responder);
}

} // namespace MessageBox
