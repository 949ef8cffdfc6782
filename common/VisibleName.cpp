#include "VisibleName.h"

#include <QChar>
#include <QList>

namespace {

bool DrawsNothing(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format: // the direction controls, zero-width ones, soft hyphen
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        // Letters by their category that draw as blanks.
        return c == 0x034F || c == 0x115F || c == 0x1160 || c == 0x3164 || c == 0xFFA0;
    }
}

} // namespace

QString VisibleName(const QString& stored)
{
    QString shown;
    shown.reserve(stored.size());
    for (const uint code : stored.toUcs4()) {
        const auto c = char32_t(code);
        if (DrawsNothing(c))
            shown += QStringLiteral("<U+%1>").arg(code, 4, 16, QLatin1Char('0')).toUpper();
        else
            shown += QString::fromUcs4(&c, 1);
    }
    return shown;
}
