#include "SqliteDialect.h"

#include "SqliteCreateTable.h"
#include "SqliteReading.h"
#include "SqliteTokens.h"

#include <QList>
#include <algorithm>

namespace db::sqlite {

namespace {

bool isSetOperator(const Token& token)
{
    return isWord(token, "UNION") || isWord(token, "EXCEPT") || isWord(token, "INTERSECT");
}

// For every token, whether a UNION, EXCEPT or INTERSECT follows it inside the
// same parentheses: one pass from the end, so that a text of many selects is
// not walked once for each.
QList<bool> setOperatorFollows(const Statement& s)
{
    QList<bool> follows(s.size(), false);
    QList<bool> seen(s.size() + 1, false); // by enclosing "(", the outermost level last
    const auto level = [&s](qsizetype i) { return s.enclosing(i) < 0 ? s.size() : s.enclosing(i); };
    for (qsizetype i = s.size() - 1; i >= 0; --i) {
        follows[i] = seen[level(i)];
        if (isSetOperator(s.token(i)))
            seen[level(i)] = true;
    }
    return follows;
}

// SELECT [ALL | DISTINCT] TOP n: the TOP clause goes, and "LIMIT n" ends that
// select, inside the parentheses of a sub-select. False when a TOP cannot be
// rewritten with the same meaning.
bool rewriteTop(Statement& s)
{
    QList<bool> setOperatorAfter;
    for (const qsizetype select : s.significant()) {
        if (!isWord(s.token(select), "SELECT"))
            continue;
        qsizetype top = s.nextSignificant(select);
        if (top >= 0 && (isWord(s.token(top), "ALL") || isWord(s.token(top), "DISTINCT")))
            top = s.nextSignificant(top);
        if (top < 0 || !isWord(s.token(top), "TOP"))
            continue;
        const qsizetype count = s.nextSignificant(top);
        if (count < 0 || !isInteger(s.token(count), std::numeric_limits<qint64>::max()))
            return false;
        const qsizetype first = s.nextSignificant(count);
        const qsizetype open = s.enclosing(select);
        const qsizetype end = open >= 0 ? s.match(open) : s.size();
        if (first < 0 || first >= end || isWord(s.token(first), "PERCENT") ||
            isWord(s.token(first), "WITH"))
            return false;
        // LIMIT would apply to the whole compound select, TOP only to its first part.
        if (setOperatorAfter.isEmpty())
            setOperatorAfter = setOperatorFollows(s);
        if (setOperatorAfter[select])
            return false;

        qsizetype removeTo = count;
        while (removeTo + 1 < s.size() && s.token(removeTo + 1).kind == Kind::Space)
            ++removeTo;
        s.remove(top, removeTo);
        s.insertAfter(s.previousSignificant(end),
                      QLatin1String(" LIMIT ") + s.token(count).text.toString());
    }
    return true;
}

// The last token of a comparison operator that starts at token i, or -1:
// =, <>, !=, <, >, <=, >=, !< or !>.
qsizetype comparisonEnd(const Statement& s, qsizetype i)
{
    const auto symbol = [&s](qsizetype k) {
        return k < s.size() && s.token(k).kind == Kind::Symbol ? s.token(k).text.front() : QChar();
    };
    if (i < 0)
        return -1;
    const QChar first = symbol(i);
    const QChar second = symbol(i + 1);
    if ((first == u'<' && (second == u'>' || second == u'=')) ||
        (first == u'>' && second == u'=') ||
        (first == u'!' && (second == u'=' || second == u'<' || second == u'>')))
        return i + 1;
    return first == u'=' || first == u'<' || first == u'>' ? i : -1;
}

// An integer, with its sign, starting at token i: its last token, or -1.
qsizetype integerEnd(const Statement& s, qsizetype i)
{
    if (i >= 0 && (isSymbol(s.token(i), u'-') || isSymbol(s.token(i), u'+')))
        i = s.nextSignificant(i);
    return i >= 0 && isInteger(s.token(i)) ? i : -1;
}

QString textOf(const Statement& s, qsizetype from, qsizetype to)
{
    QString text;
    for (qsizetype i = from; i <= to; ++i)
        text += s.token(i).text;
    return text;
}

const QString Collate = QStringLiteral(" COLLATE ") + QLatin1String(ChineseCollation);

// Whether token i is a column declared as text, outside the assignments of
// an UPDATE, which are no comparisons.
class TextColumnTest
{
public:
    TextColumnTest(const Statement& s, const QSet<QString>& textColumns)
        : m_s(s), m_textColumns(textColumns)
    {
        const QList<qsizetype>& sig = s.significant();
        if (sig.isEmpty() || !isWord(s.token(sig[0]), "UPDATE"))
            return;
        for (const qsizetype i : sig) {
            if (s.enclosing(i) != -1)
                continue;
            if (m_assignmentsFrom < 0 && isWord(s.token(i), "SET"))
                m_assignmentsFrom = i;
            else if (m_assignmentsFrom >= 0 && isWord(s.token(i), "WHERE"))
                m_assignmentsTo = i;
        }
        if (m_assignmentsFrom >= 0 && m_assignmentsTo < 0)
            m_assignmentsTo = s.size();
    }

    bool operator()(qsizetype i) const
    {
        const Token& token = m_s.token(i);
        const qsizetype next = m_s.nextSignificant(i);
        return (token.kind == Kind::Word || token.kind == Kind::QuotedName) &&
               m_textColumns.contains(nameOf(token)) &&
               !(i > m_assignmentsFrom && i < m_assignmentsTo) &&
               // a table's name, or a function's
               !(next >= 0 && (isSymbol(m_s.token(next), u'.') || isSymbol(m_s.token(next), u'(')));
    }

private:
    const Statement& m_s;
    const QSet<QString>& m_textColumns;
    qsizetype m_assignmentsFrom = -1;
    qsizetype m_assignmentsTo = -1;
};

// The first token of a qualified name whose last token is `name`.
qsizetype qualifiedStart(const Statement& s, qsizetype name)
{
    const qsizetype dot = s.previousSignificant(name);
    if (dot >= 0 && isSymbol(s.token(dot), u'.') && s.previousSignificant(dot) >= 0)
        return s.previousSignificant(dot);
    return name;
}

// Comparisons of varchar columns. With an integer, as in "f_1>=100", SQL
// Server converts the column to a number (and fails on a value that is none),
// where SQLite would compare texts; with anything else it compares texts
// by the database's collation, which SQLite has only as the engine's
// tsql_chinese.
void compareTextColumns(Statement& s, const QSet<QString>& textColumns)
{
    if (textColumns.isEmpty())
        return;
    const TextColumnTest isTextColumn(s, textColumns);
    const auto wrap = [&s](qsizetype from, qsizetype to) {
        s.replace(from, to, QStringLiteral("tsql_number(") + textOf(s, from, to) + u')');
    };

    for (const qsizetype name : s.significant()) {
        const Kind kind = s.token(name).kind;
        if (kind != Kind::Word && kind != Kind::QuotedName)
            continue;
        const qsizetype next = s.nextSignificant(name);
        const qsizetype previous = s.previousSignificant(name);
        // Only a name next to an operator can be compared; the name is looked
        // up after that.
        if (comparisonEnd(s, next) < 0 && (previous < 0 || s.token(previous).kind != Kind::Symbol))
            continue;
        if (!isTextColumn(name))
            continue;
        // A qualified name is wrapped whole.
        const qsizetype from = qualifiedStart(s, name);
        // name op ...
        const qsizetype op = comparisonEnd(s, next);
        if (op >= 0 && integerEnd(s, s.nextSignificant(op)) >= 0) {
            wrap(from, name);
            continue;
        }
        // ... op name
        const qsizetype before = s.previousSignificant(from);
        qsizetype opStart = -1;
        if (before >= 0 && s.token(before).kind == Kind::Symbol) {
            const bool twoSymbols = before > 0 && s.previousSignificant(before) == before - 1 &&
                                    comparisonEnd(s, before - 1) == before;
            opStart = twoSymbols ? before - 1 : before;
            if (comparisonEnd(s, opStart) != before)
                opStart = -1;
        }
        if (opStart >= 0) {
            const qsizetype number = s.previousSignificant(opStart);
            if (number >= 0 && isInteger(s.token(number))) {
                wrap(from, name);
                continue;
            }
        }
        if (op >= 0 || opStart >= 0)
            s.insertAfter(name, Collate);
    }
}

// ORDER BY terms that are a varchar column alone sort by the database's
// collation: "order by f_1 desc".
void orderTextColumns(Statement& s, const QSet<QString>& textColumns)
{
    if (textColumns.isEmpty())
        return;
    const TextColumnTest isTextColumn(s, textColumns);
    const QList<qsizetype>& sig = s.significant();
    for (qsizetype k = 0; k + 1 < sig.size(); ++k) {
        if (!isWord(s.token(sig[k]), "ORDER") || !isWord(s.token(sig[k + 1]), "BY"))
            continue;
        const qsizetype level = s.enclosing(sig[k]);
        const qsizetype end = level >= 0 ? s.match(level) : s.size();
        // Each term starts after BY or after a comma of the clause.
        for (qsizetype term = s.nextSignificant(sig[k + 1]); term >= 0 && term < end;) {
            qsizetype name = term;
            qsizetype after = s.nextSignificant(name);
            if (after >= 0 && after < end && isSymbol(s.token(after), u'.')) {
                name = s.nextSignificant(after);
                after = name >= 0 ? s.nextSignificant(name) : -1;
            }
            const bool alone = after < 0 || after >= end || isSymbol(s.token(after), u',') ||
                               isWord(s.token(after), "ASC") || isWord(s.token(after), "DESC");
            if (name >= 0 && name < end && alone && isTextColumn(name))
                s.insertAfter(name, Collate);
            // On to the comma that ends the term at the clause's level.
            qsizetype i = term;
            while (i >= 0 && i < end && !(isSymbol(s.token(i), u',') && s.enclosing(i) == level))
                i = s.nextSignificant(i);
            term = i >= 0 && i < end ? s.nextSignificant(i) : -1;
        }
    }
}

QStringList translateStatement(const Tokens& tokens, const QSet<QString>& textColumns)
{
    Statement s(tokens);
    if (!s.wellFormed())
        return {joined(tokens)};
    const QList<qsizetype>& sig = s.significant();
    const bool createTable =
        sig.size() > 2 && isWord(s.token(sig[0]), "CREATE") && isWord(s.token(sig[1]), "TABLE");
    if (createTable) {
        const QStringList statements = rewriteCreateTable(s);
        return statements.isEmpty() ? QStringList{joined(tokens)} : statements;
    }
    // Before the TOP: the collation goes between a last ORDER BY term and the
    // LIMIT put after it.
    compareTextColumns(s, textColumns);
    orderTextColumns(s, textColumns);
    if (!rewriteTop(s))
        return {joined(tokens)};
    return {s.text()};
}

} // namespace

QStringList translateBatch(const QString& text, const QSet<QString>& textColumns)
{
    const QString plain = readAsSqlServer(text);
    const Tokens tokens = tokenize(plain);
    QStringList translated;
    Tokens statement;
    statement.reserve(tokens.size() + 8);
    const auto translateCollected = [&] {
        while (!statement.isEmpty() && statement.constFirst().kind == Kind::Space)
            statement.removeFirst();
        while (!statement.isEmpty() && statement.constLast().kind == Kind::Space)
            statement.removeLast();
        if (std::any_of(statement.cbegin(), statement.cend(), isSignificant)) {
            for (const QString& sqlite : translateStatement(statement, textColumns))
                translated += sealed(sqlite);
        }
        statement.clear();
    };
    for (const Token& token : tokens) {
        if (isSymbol(token, u';')) {
            translateCollected();
            continue;
        }
        // SQL Server ends a number where a word begins, as in "100order by";
        // SQLite needs a blank there.
        if (token.kind == Kind::Word && !statement.isEmpty() &&
            statement.constLast().kind == Kind::Number)
            statement.append({Kind::Space, u" "});
        statement.append(token);
    }
    translateCollected();
    return translated;
}

} // namespace db::sqlite
