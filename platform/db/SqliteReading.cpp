#include "SqliteReading.h"

#include "DbError.h"
#include "SqliteTokens.h"

#include <algorithm>

namespace db::sqlite {

namespace {

// The error SQL Server gives for a literal or quoted name the text ends in.
DbError unclosed(const Token& token)
{
    return DbError(QStringLiteral("Unclosed quotation mark after the character string '%1'.")
                       .arg(token.text.mid(1)));
}

// "[a]]b]" as "a]b" in double quotes.
QString doubleQuoted(const Token& bracketed)
{
    QString name = bracketed.text.mid(1, bracketed.text.size() - 2).toString();
    name.replace(QStringLiteral("]]"), QStringLiteral("]"));
    name.replace(u'"', QStringLiteral("\"\""));
    return u'"' + name + u'"';
}

// SQL Server and SQLite end a line comment at the line feed; the comment
// holds the carriage return of a CR LF, but one elsewhere is a line's end to
// other readers of T-SQL, and so is refused rather than guessed.
bool hasBareCarriageReturn(const Token& comment)
{
    if (!comment.text.startsWith(u"--"))
        return false;
    const QStringView text = comment.text.endsWith(u'\r') ? comment.text.chopped(1) : comment.text;
    return text.contains(u'\r');
}

// A character SQLite reads as part of a name: ASCII letters, digits, "_"
// and "$", and every character beyond ASCII.
bool isSqliteNameChar(QChar c)
{
    const char16_t u = c.unicode();
    return u >= 0x80 || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
           (u >= u'0' && u <= u'9') || u == u'_' || u == u'$';
}

// Whether the text ends in what SQLite may read as a parameter ("@a", "#a",
// "$a", ":a", "@a::b"), which a "(" right after would extend.
bool endsInParameter(const QString& text)
{
    bool parameter = false;
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        const QChar c = text[i];
        if (c == u'@' || c == u'#' || c == u':' || c == u'$')
            parameter = true;
        else if (!isSqliteNameChar(c))
            break;
    }
    return parameter;
}

// Whether the text ends in an "x" that starts a token, which a literal
// right after would turn into a blob.
bool endsInBlobPrefix(const QString& text)
{
    if (text.isEmpty() || (text.back() != u'x' && text.back() != u'X'))
        return false;
    if (text.size() == 1)
        return true;
    const char16_t before = text[text.size() - 2].unicode();
    return !((before >= u'a' && before <= u'z') || (before >= u'A' && before <= u'Z') ||
             (before >= u'0' && before <= u'9') || before == u'_');
}

} // namespace

QString readAsSqlServer(const QString& text)
{
    if (text.contains(QChar(u'\0')))
        throw DbError(QStringLiteral(
            "The statement text holds a NUL character, at which SQLite would stop reading it."));
    const Tokens tokens = tokenize(text);
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        if (!token.closed) {
            if (token.kind == Kind::Comment)
                throw DbError(QStringLiteral("Missing end comment mark '*/'."));
            throw unclosed(token);
        }
        if (token.kind == Kind::Comment) {
            if (hasBareCarriageReturn(token))
                throw DbError(QStringLiteral(
                    "A line comment holds a carriage return without a line feed after it, where "
                    "servers differ on the comment's end."));
            plain += u' ';
        } else if (token.kind == Kind::QuotedName && token.text.front() == u'[' &&
                   token.text.contains(QLatin1String("]]"))) {
            plain += doubleQuoted(token);
        } else if (isSymbol(token, u'`')) {
            throw DbError(QStringLiteral("Incorrect syntax near '`'."));
        } else if (isSymbol(token, u'!') && i + 1 < tokens.size() &&
                   (isSymbol(tokens[i + 1], u'<') || isSymbol(tokens[i + 1], u'>'))) {
            // Not less is at least, not greater at most.
            plain += isSymbol(tokens[i + 1], u'<') ? QLatin1String(">=") : QLatin1String("<=");
            ++i;
        } else {
            plain += token.text;
        }
    }
    return plain;
}

QString sealed(const QString& statement)
{
    QString text = statement;
    for (;;) {
        const Tokens tokens = tokenize(text);
        const auto comment = std::find_if(tokens.cbegin(), tokens.cend(),
                                          [](const Token& t) { return t.kind == Kind::Comment; });
        if (comment == tokens.cend())
            break;
        const qsizetype at = comment->text.data() - text.constData() + 1;
        text.insert(at, u' ');
    }
    const Tokens tokens = tokenize(text);
    QString result;
    result.reserve(text.size() + 8);
    for (const Token& token : tokens) {
        if ((token.kind == Kind::Literal && endsInBlobPrefix(result)) ||
            (isSymbol(token, u'(') && endsInParameter(result)))
            result += u' ';
        result += token.text;
    }
    return result;
}

} // namespace db::sqlite
