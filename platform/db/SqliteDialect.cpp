#include "SqliteDialect.h"

#include <QList>
#include <algorithm>
#include <optional>

namespace db::sqlite {

namespace {

enum class Kind
{
    Space,
    Comment,
    Literal,    // '...'
    QuotedName, // [...] or "..."
    Word,
    Number,
    Symbol, // one character: punctuation, operators, parentheses
};

struct Token
{
    Kind kind;
    QStringView text;   // a part of the statement text, which outlives the tokens
    bool closed = true; // false for a literal, quoted name or comment cut off by the end
};

using Tokens = QList<Token>;

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

// Ends after the closing quote; a doubled quote stands for itself.
qsizetype quotedEnd(const QString& text, qsizetype start, QChar close, bool& closed)
{
    qsizetype i = start + 1;
    while (i < text.size()) {
        if (text[i] == close) {
            if (i + 1 < text.size() && text[i + 1] == close) {
                i += 2;
                continue;
            }
            closed = true;
            return i + 1;
        }
        ++i;
    }
    closed = false;
    return text.size();
}

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
        } else if (c == u'-' && next == u'-') {
            kind = Kind::Comment;
            while (i < n && text[i] != u'\n' && text[i] != u'\r')
                ++i;
        } else if (c == u'/' && next == u'*') {
            kind = Kind::Comment;
            const qsizetype end = text.indexOf(QLatin1String("*/"), i + 2);
            closed = end >= 0;
            i = closed ? end + 2 : n;
        } else if (c == u'\'') {
            kind = Kind::Literal;
            i = quotedEnd(text, i, u'\'', closed);
        } else if (c == u'[') {
            kind = Kind::QuotedName;
            i = quotedEnd(text, i, u']', closed);
        } else if (c == u'"') {
            kind = Kind::QuotedName;
            i = quotedEnd(text, i, u'"', closed);
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

bool isInteger(const Token& token)
{
    return token.kind == Kind::Number &&
           std::all_of(token.text.cbegin(), token.text.cend(), isAsciiDigit);
}

QString joined(const Tokens& tokens)
{
    QString text;
    for (const Token& token : tokens)
        text += token.text;
    return text;
}

// One statement as tokens, with the positions of its significant tokens and
// of its parentheses, and the edits made to it.
class Statement
{
public:
    explicit Statement(Tokens tokens) : m_tokens(std::move(tokens))
    {
        const qsizetype n = m_tokens.size();
        m_enclosing.fill(-1, n);
        m_match.fill(-1, n);
        m_removed.fill(false, n);
        m_replacement.resize(n);
        m_after.resize(n);
        QList<qsizetype> open;
        for (qsizetype i = 0; i < n; ++i) {
            const Token& token = m_tokens[i];
            if (!token.closed)
                m_understood = false;
            if (isSymbol(token, u')')) {
                if (open.isEmpty()) {
                    m_understood = false;
                } else {
                    m_match[open.last()] = i;
                    m_match[i] = open.last();
                    open.removeLast();
                }
            }
            m_enclosing[i] = open.isEmpty() ? -1 : open.last();
            if (isSymbol(token, u'('))
                open.append(i);
            if (isSignificant(token))
                m_significant.append(i);
        }
        if (!open.isEmpty())
            m_understood = false;
    }

    // Balanced, with every literal, name and comment closed.
    bool wellFormed() const { return m_understood; }
    bool isEmpty() const { return m_significant.isEmpty(); }

    const Token& token(qsizetype i) const { return m_tokens[i]; }
    qsizetype size() const { return m_tokens.size(); }
    const QList<qsizetype>& significant() const { return m_significant; }

    // The significant token that follows token i, or -1.
    qsizetype nextSignificant(qsizetype i) const
    {
        for (++i; i < m_tokens.size(); ++i)
            if (isSignificant(m_tokens[i]))
                return i;
        return -1;
    }
    // The significant token before token i, or -1.
    qsizetype previousSignificant(qsizetype i) const
    {
        for (--i; i >= 0; --i)
            if (isSignificant(m_tokens[i]))
                return i;
        return -1;
    }
    qsizetype enclosing(qsizetype i) const { return m_enclosing[i]; }
    qsizetype match(qsizetype i) const { return m_match[i]; }

    void remove(qsizetype from, qsizetype to) // both included
    {
        for (qsizetype i = from; i <= to; ++i)
            m_removed[i] = true;
    }
    // Removes a run of significant tokens with the blanks just before it.
    void removeWithBlanksBefore(qsizetype from, qsizetype to)
    {
        if (from > 0 && m_tokens[from - 1].kind == Kind::Space)
            --from;
        remove(from, to);
    }
    void replace(qsizetype from, qsizetype to, const QString& text)
    {
        remove(from, to);
        m_replacement[from] = text;
    }
    void insertAfter(qsizetype i, const QString& text) { m_after[i] += text; }

    QString text() const
    {
        QString text;
        for (qsizetype i = 0; i < m_tokens.size(); ++i) {
            if (m_replacement[i])
                text += *m_replacement[i];
            else if (!m_removed[i])
                text += m_tokens[i].text;
            text += m_after[i];
        }
        return text;
    }

private:
    Tokens m_tokens;
    QList<qsizetype> m_significant;
    QList<qsizetype> m_enclosing; // innermost "(" around each token, or -1
    QList<qsizetype> m_match;     // the partner of each parenthesis
    QList<bool> m_removed;
    QList<std::optional<QString>> m_replacement;
    QStringList m_after;
    bool m_understood = true;
};

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
        if (count < 0 || !isInteger(s.token(count)))
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

struct ColumnType
{
    qsizetype first = -1; // the type's tokens, its length in parentheses included
    qsizetype last = -1;
    QString name; // lower case
    QString length;
};

// The type after a column name: a word and an optional "(n)" or "(max)".
std::optional<ColumnType> columnType(const Statement& s, qsizetype name, qsizetype end)
{
    ColumnType type;
    type.first = s.nextSignificant(name);
    if (type.first < 0 || type.first >= end || s.token(type.first).kind != Kind::Word)
        return std::nullopt;
    type.name = s.token(type.first).text.toString().toLower();
    type.last = type.first;
    const qsizetype open = s.nextSignificant(type.first);
    if (open >= 0 && open < end && isSymbol(s.token(open), u'(')) {
        const qsizetype length = s.nextSignificant(open);
        const qsizetype close = s.match(open);
        if (length < 0 || s.nextSignificant(length) != close)
            return std::nullopt;
        if (isInteger(s.token(length)))
            type.length = s.token(length).text.toString();
        else if (!isWord(s.token(length), "max"))
            return std::nullopt;
        type.last = close;
    }
    return type;
}

// The byte limit of a varchar type: its length, 1 for a plain "varchar"
// (SQL Server's default in a table), none for varchar(max) or another type.
std::optional<QString> varcharLimit(const ColumnType& type)
{
    if (type.name != u"varchar" || (type.first != type.last && type.length.isEmpty()))
        return std::nullopt;
    return type.first == type.last ? QStringLiteral("1") : type.length;
}

// The SQLite type for a SQL Server type, without the identity property.
std::optional<QString> sqliteType(const ColumnType& type)
{
    if ((type.name == u"int" || type.name == u"integer" || type.name == u"image") &&
        type.first != type.last)
        return std::nullopt;
    if (type.name == u"int" || type.name == u"integer")
        return QStringLiteral("INTEGER");
    if (type.name == u"image")
        return QStringLiteral("BLOB");
    if (type.name == u"float")
        return QStringLiteral("REAL");
    if (type.name == u"varchar")
        return QStringLiteral("TEXT COLLATE NOCASE");
    return std::nullopt;
}

// A name as written, without its brackets or quotes.
QString plainName(const Token& token)
{
    if (token.kind != Kind::QuotedName)
        return token.text.toString();
    const QChar close = token.text.front() == u'[' ? QChar(u']') : QChar(u'"');
    return token.text.mid(1, token.text.size() - 2)
        .toString()
        .replace(QString(2, close), QString(close));
}

QString quotedName(const QString& name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString quotedText(const QString& text)
{
    return u'\'' + QString(text).replace(u'\'', QStringLiteral("''")) + u'\'';
}

struct VarcharColumn
{
    QString name;
    QString limit;
};

// True when the value is longer than the limit in bytes of the GBK code page:
// one for an ASCII character and for the euro sign, two for any other. Built
// from SQLite's core functions only, so that every SQLite tool can write the
// file. The UTF-8 length and twice the character count bound it from above,
// the character count from below; the characters are counted one by one only
// when the bounds leave it open.
QString tooLong(const QString& value, const QString& limit)
{
    return QStringLiteral(
               "length(CAST(%1 AS BLOB)) > %2 AND 2 * length(%1) > %2 AND (length(%1) > %2 OR "
               "(WITH RECURSIVE "
               "c(i, b) AS (SELECT 1, 0 UNION ALL SELECT i + 1, b + CASE WHEN substr(%1, i, 1) < "
               "char(128) OR substr(%1, i, 1) = char(8364) THEN 1 ELSE 2 END FROM c WHERE i <= "
               "length(%1) AND b <= %2) SELECT max(b) FROM c) > %2)")
        .arg(value, limit);
}

// Triggers that refuse a varchar value longer than its column, with SQL
// Server's message: one for inserts, one for updates of those columns.
QStringList lengthTriggers(const QString& table, const QList<VarcharColumn>& columns)
{
    if (columns.isEmpty())
        return {};
    QString inserted;
    QString updated;
    QStringList names;
    for (const VarcharColumn& column : columns) {
        const QString value = QStringLiteral("NEW.") + quotedName(column.name);
        const QString refusal =
            QStringLiteral("SELECT RAISE(ABORT, %1) WHERE ")
                .arg(quotedText(QStringLiteral("String or binary data would be truncated in "
                                               "table '%1', column '%2'.")
                                    .arg(table, column.name)));
        inserted += refusal + tooLong(value, column.limit) + QStringLiteral("; ");
        updated += refusal + value + QStringLiteral(" IS NOT OLD.") + quotedName(column.name) +
                   QStringLiteral(" AND ") + tooLong(value, column.limit) + QStringLiteral("; ");
        names.append(quotedName(column.name));
    }
    return {QStringLiteral("CREATE TRIGGER %1 BEFORE INSERT ON %2 BEGIN %3END")
                .arg(quotedName(table + QStringLiteral("_varchar_insert")), quotedName(table),
                     inserted),
            QStringLiteral("CREATE TRIGGER %1 BEFORE UPDATE OF %2 ON %3 BEGIN %4END")
                .arg(quotedName(table + QStringLiteral("_varchar_update")),
                     names.join(QStringLiteral(", ")), quotedName(table), updated)};
}

// A table constraint "[CONSTRAINT name] PRIMARY KEY [CLUSTERED] (column)":
// the column's token, or -1 for any other element.
qsizetype primaryKeyColumn(const Statement& s, qsizetype first, qsizetype end)
{
    qsizetype i = first;
    if (isWord(s.token(i), "CONSTRAINT")) {
        const qsizetype name = s.nextSignificant(i);
        if (name < 0 || name >= end)
            return -1;
        i = s.nextSignificant(name);
    }
    if (i < 0 || i >= end || !isWord(s.token(i), "PRIMARY"))
        return -1;
    i = s.nextSignificant(i);
    if (i < 0 || i >= end || !isWord(s.token(i), "KEY"))
        return -1;
    i = s.nextSignificant(i);
    if (i >= 0 && i < end &&
        (isWord(s.token(i), "CLUSTERED") || isWord(s.token(i), "NONCLUSTERED")))
        i = s.nextSignificant(i);
    if (i < 0 || i >= end || !isSymbol(s.token(i), u'('))
        return -1;
    const qsizetype column = s.nextSignificant(i);
    if (column < 0 || s.nextSignificant(column) != s.match(i) || s.match(i) >= end)
        return -1;
    return column;
}

QString nameOf(const Token& token)
{
    if (token.kind == Kind::QuotedName)
        return token.text.mid(1, token.text.size() - 2).toString().toLower();
    return token.text.toString().toLower();
}

struct Element
{
    qsizetype first; // first significant token
    qsizetype begin; // all its tokens: [begin, end)
    qsizetype end;
    qsizetype identity = -1; // IDENTITY [(1, 1)] of a column: its first and last token
    qsizetype identityLast = -1;
};

// Finds IDENTITY or IDENTITY (1, 1) in an element; false when the seed or the
// step is not 1, which AUTOINCREMENT cannot follow.
bool findIdentity(const Statement& s, Element& e)
{
    for (qsizetype i = e.first; i >= 0 && i < e.end; i = s.nextSignificant(i)) {
        if (!isWord(s.token(i), "IDENTITY"))
            continue;
        e.identity = i;
        e.identityLast = i;
        const qsizetype open = s.nextSignificant(i);
        if (open >= 0 && open < e.end && isSymbol(s.token(open), u'(')) {
            const qsizetype seed = s.nextSignificant(open);
            const qsizetype comma = seed < 0 ? -1 : s.nextSignificant(seed);
            const qsizetype step = comma < 0 ? -1 : s.nextSignificant(comma);
            if (step < 0 || s.token(seed).text != u"1" || !isSymbol(s.token(comma), u',') ||
                s.token(step).text != u"1" || s.nextSignificant(step) != s.match(open))
                return false;
            e.identityLast = s.match(open);
        }
        return true;
    }
    return true;
}

// Removes "word1 word2" (NOT NULL, PRIMARY KEY) from a column definition.
void removePair(Statement& s, const Element& e, const char* word1, const char* word2)
{
    for (qsizetype i = e.first; i >= 0 && i < e.end; i = s.nextSignificant(i)) {
        const qsizetype next = s.nextSignificant(i);
        if (isWord(s.token(i), word1) && next >= 0 && next < e.end && isWord(s.token(next), word2))
            s.removeWithBlanksBefore(i, next);
    }
}

// The table's statement, then the triggers that keep its varchar lengths;
// nothing when the statement is not understood.
QStringList rewriteCreateTable(Statement& s)
{
    const QList<qsizetype>& sig = s.significant();
    qsizetype open = -1;
    for (qsizetype k = 2; k < sig.size(); ++k) {
        if (isSymbol(s.token(sig[k]), u'(')) {
            open = sig[k];
            break;
        }
    }
    if (open < 0 || open == sig[2] || s.match(open) != sig.last())
        return {};
    const qsizetype close = s.match(open);

    QList<Element> elements;
    qsizetype begin = open + 1;
    for (qsizetype i = open + 1; i <= close; ++i) {
        if (i == close || (isSymbol(s.token(i), u',') && s.enclosing(i) == open)) {
            const qsizetype first = s.nextSignificant(begin - 1);
            if (first < 0 || first >= i)
                return {};
            elements.append({first, begin, i});
            begin = i + 1;
        }
    }

    QString identityColumn;
    QList<VarcharColumn> varchars;
    for (Element& e : elements) {
        if (!findIdentity(s, e))
            return {};
        if (e.identity >= 0) {
            if (!identityColumn.isEmpty())
                return {};
            identityColumn = nameOf(s.token(e.first));
        }
    }

    for (qsizetype index = 0; index < elements.size(); ++index) {
        const Element& e = elements[index];
        const qsizetype keyColumn = primaryKeyColumn(s, e.first, e.end);
        if (keyColumn >= 0) {
            if (!identityColumn.isEmpty() && nameOf(s.token(keyColumn)) == identityColumn) {
                // With its comma: the one before it, or after it for the first element.
                if (index > 0)
                    s.remove(e.begin - 1, e.end - 1);
                else if (elements.size() > 1)
                    s.remove(e.begin, e.end);
                else
                    return {};
            }
            continue;
        }
        if (isWord(s.token(e.first), "CONSTRAINT") || isWord(s.token(e.first), "PRIMARY") ||
            isWord(s.token(e.first), "UNIQUE") || isWord(s.token(e.first), "FOREIGN") ||
            isWord(s.token(e.first), "CHECK"))
            continue;

        const Token& column = s.token(e.first);
        if (column.kind != Kind::Word && column.kind != Kind::QuotedName)
            return {};
        const std::optional<ColumnType> type = columnType(s, e.first, e.end);
        if (!type)
            return {};
        std::optional<QString> target = sqliteType(*type);
        if (!target)
            return {};
        if (const std::optional<QString> limit = varcharLimit(*type))
            varchars.append({plainName(column), *limit});

        if (e.identity >= 0) {
            if (type->name != u"int" && type->name != u"integer")
                return {};
            s.removeWithBlanksBefore(e.identity, e.identityLast);
            removePair(s, e, "NOT", "NULL");
            removePair(s, e, "PRIMARY", "KEY");
            *target += QLatin1String(" PRIMARY KEY AUTOINCREMENT");
        }
        s.replace(type->first, type->last, *target);
    }
    // The triggers name the table itself, which must be one name.
    if (!varchars.isEmpty() && open != sig[3])
        return {};
    s.insertAfter(close, QStringLiteral(" STRICT"));
    QStringList statements{s.text()};
    statements += lengthTriggers(plainName(s.token(sig[2])), varchars);
    return statements;
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

// "f_1>=100" on a varchar column: SQL Server converts the column to a number
// (and fails on a value that is none); SQLite would compare texts.
void compareTextColumnsAsNumbers(Statement& s, const QSet<QString>& textColumns)
{
    if (textColumns.isEmpty())
        return;
    const QList<qsizetype>& sig = s.significant();
    // The assignments of an UPDATE are no comparisons.
    qsizetype assignmentsFrom = -1;
    qsizetype assignmentsTo = -1;
    if (!sig.isEmpty() && isWord(s.token(sig[0]), "UPDATE")) {
        for (const qsizetype i : sig) {
            if (s.enclosing(i) != -1)
                continue;
            if (assignmentsFrom < 0 && isWord(s.token(i), "SET"))
                assignmentsFrom = i;
            else if (assignmentsFrom >= 0 && isWord(s.token(i), "WHERE"))
                assignmentsTo = i;
        }
        if (assignmentsFrom >= 0 && assignmentsTo < 0)
            assignmentsTo = s.size();
    }
    const auto isTextColumn = [&](qsizetype i) {
        const Token& token = s.token(i);
        return (token.kind == Kind::Word || token.kind == Kind::QuotedName) &&
               textColumns.contains(nameOf(token)) && !(i > assignmentsFrom && i < assignmentsTo);
    };
    const auto wrap = [&s](qsizetype from, qsizetype to) {
        s.replace(from, to, QStringLiteral("tsql_number(") + textOf(s, from, to) + u')');
    };

    for (const qsizetype name : sig) {
        const Kind kind = s.token(name).kind;
        if (kind != Kind::Word && kind != Kind::QuotedName)
            continue;
        const qsizetype next = s.nextSignificant(name);
        const qsizetype previous = s.previousSignificant(name);
        // Only a name next to an operator can be compared; the name is looked
        // up after that.
        if (comparisonEnd(s, next) < 0 && (previous < 0 || s.token(previous).kind != Kind::Symbol))
            continue;
        if (!isTextColumn(name) ||
            (next >= 0 && (isSymbol(s.token(next), u'.') || isSymbol(s.token(next), u'('))))
            continue;
        // A qualified name is wrapped whole.
        qsizetype from = name;
        const qsizetype dot = s.previousSignificant(name);
        if (dot >= 0 && isSymbol(s.token(dot), u'.') && s.previousSignificant(dot) >= 0)
            from = s.previousSignificant(dot);
        // name op integer
        const qsizetype op = comparisonEnd(s, next);
        if (op >= 0 && integerEnd(s, s.nextSignificant(op)) >= 0) {
            wrap(from, name);
            continue;
        }
        // integer op name
        const qsizetype before = s.previousSignificant(from);
        if (before < 0 || s.token(before).kind != Kind::Symbol)
            continue;
        const bool twoSymbols = before > 0 && s.previousSignificant(before) == before - 1 &&
                                comparisonEnd(s, before - 1) == before;
        const qsizetype opStart = twoSymbols ? before - 1 : before;
        if (comparisonEnd(s, opStart) != before)
            continue;
        const qsizetype number = s.previousSignificant(opStart);
        if (number >= 0 && isInteger(s.token(number)))
            wrap(from, name);
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
    if (!rewriteTop(s))
        return {joined(tokens)};
    compareTextColumnsAsNumbers(s, textColumns);
    return {s.text()};
}

} // namespace

QStringList translateBatch(const QString& text, const QSet<QString>& textColumns)
{
    const Tokens tokens = tokenize(text);
    QStringList translated;
    Tokens statement;
    statement.reserve(tokens.size() + 8);
    const auto translateCollected = [&] {
        while (!statement.isEmpty() && statement.constFirst().kind == Kind::Space)
            statement.removeFirst();
        while (!statement.isEmpty() && statement.constLast().kind == Kind::Space)
            statement.removeLast();
        if (std::any_of(statement.cbegin(), statement.cend(), isSignificant))
            translated += translateStatement(statement, textColumns);
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
