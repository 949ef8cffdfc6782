#include "SqlScan.h"

#include "TsqlLexer.h"

namespace db::sqlscan {

namespace {

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'@' || c == u'#' || c == u'$';
}

// The index just past the literal, quoted name or comment that starts at i,
// or i itself when code starts there.
qsizetype skipNonCode(const QString& sql, qsizetype i)
{
    return tsql::reachAt(sql, i).end;
}

// Calls visit(index, depth) for every code character; visit returns false to stop.
template <typename Visit> void forEachCodeChar(const QString& sql, Visit visit)
{
    int depth = 0;
    qsizetype i = 0;
    while (i < sql.size()) {
        const qsizetype skipped = skipNonCode(sql, i);
        if (skipped != i) {
            i = skipped;
            continue;
        }
        const QChar c = sql.at(i);
        if (c == u')' && depth > 0)
            --depth;
        if (!visit(i, depth))
            return;
        if (c == u'(')
            ++depth;
        ++i;
    }
}

bool wordAt(const QString& sql, qsizetype i, QLatin1String word)
{
    if (i > 0 && isNameChar(sql.at(i - 1)))
        return false;
    const qsizetype end = i + word.size();
    if (end > sql.size() || QStringView(sql).mid(i, word.size()).compare(word, Qt::CaseInsensitive))
        return false;
    return end == sql.size() || !isNameChar(sql.at(end));
}

// A name of one or more parts joined by dots, starting at i.
QString nameAt(const QString& sql, qsizetype i)
{
    const qsizetype start = i;
    while (i < sql.size()) {
        const QChar c = sql.at(i);
        if (c == u'[' || c == u'"') {
            i = skipNonCode(sql, i);
        } else if (isNameChar(c)) {
            while (i < sql.size() && isNameChar(sql.at(i)))
                ++i;
        } else {
            break;
        }
        if (i >= sql.size() || sql.at(i) != u'.')
            break;
        ++i;
    }
    return sql.mid(start, i - start);
}

} // namespace

QList<qsizetype> parameterPositions(const QString& sql, const QString& name)
{
    const QString marker = u':' + name;
    QList<qsizetype> positions;
    forEachCodeChar(sql, [&](qsizetype i, int) {
        if (sql.at(i) != u':' || (i > 0 && sql.at(i - 1) == u':'))
            return true;
        const qsizetype end = i + marker.size();
        if (QStringView(sql).mid(i, marker.size()).compare(marker, Qt::CaseInsensitive) == 0 &&
            (end == sql.size() || !isNameChar(sql.at(end))))
            positions.append(i);
        return true;
    });
    return positions;
}

bool containsParameter(const QString& sql, const QString& name)
{
    return !parameterPositions(sql, name).isEmpty();
}

QString firstFromTable(const QString& sql)
{
    qsizetype from = -1;
    forEachCodeChar(sql, [&](qsizetype i, int depth) {
        if (depth == 0 && wordAt(sql, i, QLatin1String("from")))
            from = i;
        return from < 0;
    });
    if (from < 0)
        return QString();
    qsizetype i = from + 4;
    while (i < sql.size() && sql.at(i).isSpace())
        ++i;
    return i < sql.size() ? nameAt(sql, i) : QString();
}

int statementCount(const QString& sql)
{
    int count = 0;
    bool pending = false;
    forEachCodeChar(sql, [&](qsizetype i, int) {
        const QChar c = sql.at(i);
        if (c == u';') {
            count += pending ? 1 : 0;
            pending = false;
        } else if (!c.isSpace()) {
            pending = true;
        }
        return true;
    });
    return count + (pending ? 1 : 0);
}

} // namespace db::sqlscan
