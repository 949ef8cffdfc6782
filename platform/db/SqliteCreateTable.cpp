#include "SqliteCreateTable.h"

#include <optional>

namespace db::sqlite {

namespace {

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

} // namespace

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

} // namespace db::sqlite
