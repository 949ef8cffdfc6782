#include "SearchCondition.h"

#include "common/SqlText.h"

namespace {

int DigitValue(QChar c, int base)
{
    int value = -1;
    if (c >= u'0' && c <= u'9')
        value = c.unicode() - u'0';
    else if (c >= u'a' && c <= u'f')
        value = c.unicode() - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        value = c.unicode() - u'A' + 10;
    return value < base ? value : -1;
}

} // namespace

bool KeyIsNumber(const QString& key)
{
    qsizetype i = 0;
    while (i < key.size() && key.at(i) == u' ')
        ++i;

    int base = 10;
    bool negative = false;
    if (key.mid(i, 2).compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0) {
        base = 16;
        i += 2;
    } else if (i < key.size() && (key.at(i) == u'$' || key.at(i) == u'x' || key.at(i) == u'X')) {
        base = 16;
        ++i;
    } else if (i < key.size() && (key.at(i) == u'+' || key.at(i) == u'-')) {
        negative = key.at(i) == u'-';
        ++i;
    }
    if (i == key.size())
        return false;

    // Decimal must fit the signed range; hexadecimal gives the 32-bit
    // pattern, so $FFFFFFFF reads as -1.
    const quint64 limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    quint64 value = 0;
    for (; i < key.size(); ++i) {
        const int digit = DigitValue(key.at(i), base);
        if (digit < 0)
            return false;
        value = value * static_cast<quint64>(base) + static_cast<quint64>(digit);
        if (value > limit)
            return false;
    }
    return true;
}

QString SearchCondition(const QString& column, const QString& op, const QString& key)
{
    const QString head = QStringLiteral("where ") + column;
    if (op == QStringLiteral("包含"))
        return head + QStringLiteral(" like '%") + QuoteDoubled(key) + QStringLiteral("%'");
    if (KeyIsNumber(key))
        return head + op + key;
    return head + op + QLatin1Char('\'') + QuoteDoubled(key) + QLatin1Char('\'');
}
