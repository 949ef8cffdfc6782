#include "DialogChecks.h"

#include "common/MessageBox.h"
#include "platform/text/Gbk.h"

#include <QDialog>

namespace DialogChecks {

bool IsShortPassword(const QString& password)
{
    return Gbk::byteLength(password) < MinPasswordBytes;
}

QString LengthRefusal(const QString& what, const QString& text, int maxBytes)
{
    if (Gbk::byteLength(text) <= maxBytes)
        return QString();
    return what + QStringLiteral("太长，最多%1个字节(一个汉字占两个字节)!").arg(maxBytes);
}

void ConfirmUnlessRefused(QDialog& dialog, bool& confirmed, const QString& refusal)
{
    if (!refusal.isEmpty()) {
        MessageBox::Show(refusal);
        return;
    }
    confirmed = true;
    dialog.accept();
}

} // namespace DialogChecks
