// The T-SQL translation for the embedded engine and the statement scanner
// over any text, and what the translation promises: every literal of the
// text is, whole and unchanged, still one literal as SQLite reads the
// translation, or the text is refused.
//
// Each literal, as SQL Server reads the text, gets a marker at its start and
// one at its end (private-use characters, taken out of the input first).
// Where SQLite reads the translation is asked of SQLite itself:
// sqlite3_complete() knows SQLite's strings, quoted names and comments, so a
// prefix ends inside a string exactly when "\n';END;" after it completes the
// text (the line feed ends a line comment, "END;" a trigger's body), and in
// code when "\n;END;" does. One reading of SQLite's own tokenizer is not in
// sqlite3_complete(): a parameter such as "@a" or ":a" directly followed by
// "(" runs to the next blank or ")", over any quote; the translation must
// leave none in code. (A blob x'..' ends where sqlite3_complete() ends the
// string, and one that holds a marker is no blob but an error.)

#include "platform/db/DbError.h"
#include "platform/db/SqlScan.h"
#include "platform/db/SqliteDialect.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>

namespace {

constexpr char16_t StartMarks = 0xE000; // literal k starts with U+E000 + k
constexpr char16_t EndMarks = 0xE800;   // and ends with U+E800 + k
constexpr qsizetype MarkedLiterals = 0x800;

bool isMarkerRange(QChar c)
{
    return c.unicode() >= StartMarks && c.unicode() < StartMarks + 0x1000;
}

struct Literal
{
    qsizetype open;  // the opening quote
    qsizetype close; // the closing quote, or the text's end
};

// The literals of a T-SQL text as SQL Server reads it: "--" to the line
// feed, nested block comments, '...', "..." and [...] with the closing
// character doubled inside.
QList<Literal> literalsOf(const QString& t)
{
    QList<Literal> literals;
    const qsizetype n = t.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = t[i];
        const QChar next = i + 1 < n ? t[i + 1] : QChar();
        if (c == u'-' && next == u'-') {
            i = t.indexOf(u'\n', i + 2);
            if (i < 0)
                break;
        } else if (c == u'/' && next == u'*') {
            int depth = 1;
            i += 2;
            while (i < n && depth > 0) {
                if (i + 1 < n && t[i] == u'/' && t[i + 1] == u'*') {
                    ++depth;
                    i += 2;
                } else if (i + 1 < n && t[i] == u'*' && t[i + 1] == u'/') {
                    --depth;
                    i += 2;
                } else {
                    ++i;
                }
            }
        } else if (c == u'\'' || c == u'"' || c == u'[') {
            const QChar close = c == u'[' ? QChar(u']') : c;
            qsizetype j = i + 1;
            while (j < n) {
                if (t[j] == close) {
                    if (j + 1 < n && t[j + 1] == close) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            if (c == u'\'')
                literals.append({i, j});
            i = j < n ? j + 1 : n;
        } else {
            ++i;
        }
    }
    return literals;
}

[[noreturn]] void fail(const char* what, const QString& input, const QStringList& output)
{
    std::fprintf(stderr, "%s\ninput: %s\noutput:\n%s\n", what, input.toUtf8().constData(),
                 output.join(QStringLiteral("\n--- next statement ---\n")).toUtf8().constData());
    std::abort();
}

// Whether SQLite reads the end of the prefix as inside a '...' string.
bool endsInString(const QByteArray& prefix)
{
    return sqlite3_complete((prefix + "\n';END;").constData()) == 1;
}

// Whether SQLite reads the end of the prefix as code: outside strings,
// quoted names and block comments.
bool endsInCode(const QByteArray& prefix)
{
    return sqlite3_complete((prefix + "\n;END;").constData()) == 1;
}

// Whether the text before position i ends in a parameter as SQLite's
// tokenizer reads one: "$", "@", "#" or ":" and name characters.
bool parameterBefore(const QString& s, qsizetype i)
{
    bool parameter = false;
    for (--i; i >= 0; --i) {
        const char16_t c = s[i].unicode();
        if (c == u'$' || c == u'@' || c == u'#' || c == u':') {
            parameter = true;
        } else if (!(c >= 0x80 || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                     (c >= u'0' && c <= u'9') || c == u'_')) {
            break;
        }
    }
    return parameter;
}

void checkLiterals(const QString& input, const QList<Literal>& literals, const QStringList& output)
{
    for (const QString& statement : output) {
        if (statement.contains(QChar(u'\0')))
            fail("a NUL reaches SQLite", input, output);
        for (qsizetype i = 0; i < statement.size(); ++i) {
            if (statement[i] == u'(' && parameterBefore(statement, i) &&
                endsInCode(statement.left(i).toUtf8()))
                fail("SQLite reads a parameter over the \"(\" after it", input, output);
        }
    }
    const qsizetype marked = std::min(literals.size(), MarkedLiterals);
    for (qsizetype k = 0; k < marked; ++k) {
        const QChar start(char16_t(StartMarks + k));
        const QChar end(char16_t(EndMarks + k));
        const Literal& literal = literals[k];
        const QString content = input.mid(literal.open + 1, literal.close - literal.open - 1);
        int found = 0;
        for (const QString& statement : output) {
            const qsizetype at = statement.indexOf(start);
            if (at < 0)
                continue;
            found += int(statement.count(start));
            const qsizetype to = statement.indexOf(end, at);
            if (to < 0 || statement.count(end) != 1)
                fail("a literal's end is not where its start is", input, output);
            if (statement.mid(at + 1, to - at - 1) != content)
                fail("a literal changed", input, output);
            if (!endsInString(statement.left(at + 1).toUtf8()) ||
                !endsInString(statement.left(to + 1).toUtf8()))
                fail("SQLite reads a literal's text outside a string", input, output);
        }
        if (found != 1)
            fail("a literal is lost or repeated", input, output);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QSet<QString> textColumns{QStringLiteral("f_1"), QStringLiteral("name")};
    try {
        db::sqlite::translateBatch(text, textColumns);
    } catch (const db::DbError&) {
        // refused
    }
    db::sqlscan::statementCount(text);
    db::sqlscan::firstFromTable(text);
    db::sqlscan::parameterPositions(text, QStringLiteral("file"));
    db::sqlscan::containsParameter(text, QStringLiteral("file"));

    for (QChar& c : text)
        if (isMarkerRange(c))
            c = u'p';
    const QList<Literal> literals = literalsOf(text);
    QString marked;
    marked.reserve(text.size() + 2 * literals.size());
    qsizetype copied = 0;
    for (qsizetype k = 0; k < std::min(literals.size(), MarkedLiterals); ++k) {
        const Literal& literal = literals[k];
        marked += QStringView(text).mid(copied, literal.open + 1 - copied);
        marked += QChar(char16_t(StartMarks + k));
        marked += QStringView(text).mid(literal.open + 1, literal.close - literal.open - 1);
        marked += QChar(char16_t(EndMarks + k));
        copied = literal.close;
    }
    marked += QStringView(text).mid(copied);

    QStringList output;
    try {
        output = db::sqlite::translateBatch(marked, textColumns);
    } catch (const db::DbError&) {
        return 0; // refused
    }
    checkLiterals(text, literals, output);
    return 0;
}
