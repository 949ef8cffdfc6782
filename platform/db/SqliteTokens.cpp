#include "SqliteTokens.h"

#include "TsqlLexer.h"

#include <algorithm>

namespace db::sqlite {

namespace {

bool isWordStart(QChar c)
{
    return c.isLetter() || c == u'_' || c == u'@' || c == u'#';
}

bool isWordPart(QChar c)
{
    return isWordStart(c) || c.isDigit() || c == u'$';
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isHexDigit(QChar c)
{
    return isAsciiDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

} // namespace

Tokens tokenize(const QString& text)
{
    Tokens tokens;
    tokens.reserve(text.size() / 2 + 8);
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype start = i;
        const QChar c = text[i];
        const QChar next = i + 1 < n ? text[i + 1] : QChar();
        Kind kind = Kind::Symbol;
        bool closed = true;
        if (c.isSpace()) {
            kind = Kind::Space;
            while (i < n && text[i].isSpace())
                ++i;
        } else if (const tsql::Reach reach = tsql::reachAt(text, i);
                   reach.span != tsql::Span::Code) {
            kind = reach.span == tsql::Span::Literal      ? Kind::Literal
                   : reach.span == tsql::Span::QuotedName ? Kind::QuotedName
                                                          : Kind::Comment;
            closed = reach.closed;
            i = reach.end;
        } else if (c == u'0' && (next == u'x' || next == u'X')) {
            kind = Kind::Number; // a binary constant, 0x and hexadecimal digits
            i += 2;
            while (i < n && isHexDigit(text[i]))
                ++i;
        } else if (isAsciiDigit(c)) {
            kind = Kind::Number;
            while (i < n && isAsciiDigit(text[i]))
                ++i;
            if (i + 1 < n && text[i] == u'.' && isAsciiDigit(text[i + 1])) {
                ++i;
                while (i < n && isAsciiDigit(text[i]))
                    ++i;
            }
            const qsizetype sign =
                i + 1 < n && (text[i + 1] == u'+' || text[i + 1] == u'-') ? 1 : 0;
            if (i + 1 + sign < n && (text[i] == u'e' || text[i] == u'E') &&
                isAsciiDigit(text[i + 1 + sign])) {
                i += 1 + sign;
                while (i < n && isAsciiDigit(text[i]))
                    ++i;
            }
        } else if (isWordStart(c)) {
            kind = Kind::Word;
            while (i < n && isWordPart(text[i]))
                ++i;
        } else {
            ++i;
        }
        tokens.append({kind, QStringView(text).mid(start, i - start), closed});
    }
    return tokens;
}

bool isSignificant(const Token& token)
{
    return token.kind != Kind::Space && token.kind != Kind::Comment;
}

bool isWord(const Token& token, const char* word)
{
    return token.kind == Kind::Word &&
           token.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool isSymbol(const Token& token, char16_t symbol)
{
    return token.kind == Kind::Symbol && token.text.size() == 1 && token.text[0] == symbol;
}

bool isInteger(const Token& token, qint64 largest)
{
    if (token.kind != Kind::Number ||
        !std::all_of(token.text.cbegin(), token.text.cend(), isAsciiDigit))
        return false;
    QStringView digits = token.text;
    while (digits.size() > 1 && digits.front() == u'0')
        digits = digits.mid(1);
    bool fits = false;
    const qulonglong value = digits.toULongLong(&fits);
    return fits && value <= qulonglong(largest);
}

QString joined(const Tokens& tokens)
{
    QString text;
    for (const Token& token : tokens)
        text += token.text;
    return text;
}

QString nameOf(const Token& token)
{
    if (token.kind != Kind::QuotedName)
        return token.text.toString().toLower();
    const QString close = token.text.front() == u'[' ? QStringLiteral("]") : QStringLiteral("\"");
    return token.text.mid(1, token.text.size() - 2)
        .toString()
        .replace(close + close, close)
        .toLower();
}

} // namespace db::sqlite
