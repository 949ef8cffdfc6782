#include "Query.h"

#include "Connection.h"
#include "DbError.h"
#include "Engine.h"
#include "ParameterFile.h"
#include "SqlScan.h"
#include "StatementLog.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <utility>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace db {

namespace {

const QString KeyColumn = QStringLiteral("id");

// The size of rows from which their memory is worth giving back at once.
constexpr qsizetype BigRows = 512 * 1024;

// glibc keeps what is freed inside its heap for the process, where a big
// page's buffers, grown step by step, leave holes; giving them back keeps
// reloads of a big page from growing the process.
void giveBackFreedMemory(qsizetype bytes)
{
#ifdef __GLIBC__
    if (bytes >= BigRows)
        malloc_trim(0);
#else
    Q_UNUSED(bytes);
#endif
}

bool isNullValue(const QVariant& value)
{
    return !value.isValid() || value.isNull();
}

bool sameValue(const QVariant& a, const QVariant& b)
{
    if (isNullValue(a) || isNullValue(b))
        return isNullValue(a) && isNullValue(b);
    return a == b;
}

// A value as an edit box shows it.
QString editText(const QVariant& value)
{
    if (isNullValue(value))
        return QString();
    switch (value.typeId()) {
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', 15);
    case QMetaType::Float:
        return QString::number(value.toFloat(), 'g', 7);
    default:
        return value.toString();
    }
}

// Reported when a write by key finds no row as it was read: another client
// changed or removed it meanwhile, and nothing was written.
DbError rowChangedElsewhere(const QString& keyName, const QVariant& key, const QString& table)
{
    return DbError(QStringLiteral("The row with %1 %2 in %3 was changed or removed by someone "
                                  "else since it was read.")
                       .arg(keyName, editText(key), table));
}

} // namespace

Query::Query(Connection& connection) : m_connection(connection) {}

Query::~Query() = default;

void Query::clearSql()
{
    m_lines.clear();
    m_fileParameter.reset();
    m_filePath.clear();
}

void Query::addSql(const QString& line)
{
    m_lines.append(line);
}

void Query::setSql(const QString& statement)
{
    close();
    clearSql();
    addSql(statement);
}

QString Query::sqlText() const
{
    QString text;
    for (const QString& line : m_lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

void Query::setFileParameter(const QByteArray& bytes)
{
    m_fileParameter = bytes;
    m_filePath.clear();
}

void Query::loadFileParameter(const QString& path)
{
    QFile file(path);
    openParameterFile(file);
    m_fileParameter.reset();
    m_filePath = path;
}

RunnerScope::RunnerScope(Query& query, Runner previous)
    : m_query(&query), m_previous(std::move(previous))
{
}

RunnerScope::RunnerScope(RunnerScope&& other) noexcept
    : m_query(std::exchange(other.m_query, nullptr)), m_previous(std::move(other.m_previous))
{
}

RunnerScope::~RunnerScope()
{
    if (m_query)
        m_query->m_runner = std::move(m_previous);
}

RunnerScope Query::setProgress(Progress progress)
{
    if (!progress)
        return setRunner({});
    return setRunner([progress = std::move(progress)](const Work& work, const Interrupt&,
                                                      const Gauge&) { work(progress); });
}

RunnerScope Query::setRunner(Runner runner)
{
    RunnerScope scope(*this, std::move(m_runner));
    m_runner = std::move(runner);
    return scope;
}

void Query::runStep(const Work& work)
{
    if (m_runner)
        m_runner(
            m_connection.lent(work), [this] { return m_connection.interrupt(); },
            [this] { return m_connection.inFlight(); });
    else
        work({});
}

FileParameter Query::fileBytes() const
{
    if (m_filePath.isEmpty())
        return m_fileParameter;
    QFile file(m_filePath);
    openParameterFile(file);
    return readParameterFile(file);
}

void Query::open()
{
    // Without a progress nothing can stop the read, and the rows held go
    // first, so that a big page is never held twice.
    if (!m_runner)
        close();
    const QString text = sqlText();
    notifyStatement(text);
    const FileParameter file = fileBytes();
    ResultRows rows;
    try {
        runStep([&](const Progress& progress) {
            rows = m_connection.engine().select(text, file, progress);
        });
    } catch (const Cancelled&) {
        throw; // the rows held stay, as if the read had not begun
    } catch (...) {
        close();
        throw;
    }
    close();
    m_rows = std::move(rows);
    m_states.resize(m_rows.rowCount());
    giveBackFreedMemory(m_rows.byteSize());
    m_openedSql = text;
    m_open = true;
    m_current = 0;
}

int Query::execute()
{
    const QString text = sqlText();
    notifyStatement(text);
    // Bytes held travel in pieces as a file does when a progress watches them.
    if (m_filePath.isEmpty() && !(m_fileParameter && m_runner))
        return m_connection.engine().execute(text, m_fileParameter);
    int changed = 0;
    runStep([&](const Progress& progress) {
        QFile file(m_filePath);
        QBuffer bytes;
        QIODevice* content = &bytes;
        if (!m_filePath.isEmpty()) {
            openParameterFile(file);
            content = &file;
        } else {
            bytes.setData(*m_fileParameter);
            bytes.open(QIODevice::ReadOnly);
        }
        changed = m_connection.engine().executeWithFile(text, *content, progress);
    });
    return changed;
}

int Query::countRows()
{
    const QString text = sqlText();
    notifyStatement(text);
    const FileParameter file = fileBytes();
    int count = 0;
    runStep([&](const Progress& progress) {
        count = m_connection.engine().countRows(text, file, progress);
    });
    return count;
}

void Query::close()
{
    m_open = false;
    // Given back at once, not kept as spare capacity: a page of a million
    // rows must not stay while the next is read.
    const qsizetype released = m_rows.byteSize();
    m_rows = ResultRows();
    giveBackFreedMemory(released);
    m_states = QList<RowState>();
    m_edited.clear();
    m_originals.clear();
    m_openedSql.clear();
    m_current = -1;
}

bool Query::isOpen() const
{
    return m_open;
}

int Query::recordCount() const
{
    return m_open ? rowCount() : 0;
}

void Query::first()
{
    requireOpen();
    m_current = 0;
}

void Query::next()
{
    requireOpen();
    if (m_current < rowCount())
        ++m_current;
}

bool Query::eof() const
{
    return !m_open || m_current < 0 || m_current >= rowCount();
}

int Query::currentRow() const
{
    return eof() ? -1 : m_current;
}

void Query::setCurrentRow(int row)
{
    requireOpen();
    if (row != -1)
        requireRowIndex(row);
    m_current = row == -1 ? rowCount() : row;
}

int Query::fieldCount() const
{
    return static_cast<int>(m_rows.fieldNames.size());
}

QString Query::fieldName(int position) const
{
    requirePosition(position);
    return m_rows.fieldNames.at(position);
}

int Query::fieldIndex(const QString& name) const
{
    const int index = static_cast<int>(m_rows.fieldNames.indexOf(name));
    if (index >= 0)
        return index;
    // Field names match without regard to case, as on SQL Server.
    for (int i = 0; i < m_rows.fieldNames.size(); ++i) {
        if (m_rows.fieldNames.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    throw DbError(QStringLiteral("The result has no field named %1.").arg(name));
}

bool Query::hasField(const QString& name) const
{
    // Names are mostly written as the result has them: that is looked for first.
    if (m_rows.fieldNames.contains(name))
        return true;
    return std::any_of(
        m_rows.fieldNames.cbegin(), m_rows.fieldNames.cend(),
        [&](const QString& field) { return field.compare(name, Qt::CaseInsensitive) == 0; });
}

QVariant Query::value(int position) const
{
    requireRow();
    requirePosition(position);
    return valueAt(m_current, position);
}

QVariant Query::value(const QString& name) const
{
    return value(fieldIndex(name));
}

bool Query::isNull(int position) const
{
    return isNullValue(value(position));
}

QString Query::text(int position) const
{
    return editText(value(position));
}

QString Query::text(const QString& name) const
{
    return text(fieldIndex(name));
}

QByteArray Query::bytes(const QString& name) const
{
    const QVariant field = value(name);
    return isNullValue(field) ? QByteArray() : field.toByteArray();
}

bool Query::saveBlobToFile(const QString& path)
{
    close();
    const QString text = sqlText();
    notifyStatement(text);
    bool found = false;
    runStep([&](const Progress& progress) {
        const auto unwritable = [&](const QSaveFile& file) {
            return DbError(
                QStringLiteral("Cannot write the file %1: %2").arg(path, file.errorString()));
        };
        // Written beside the target and renamed over it, so that a failure or
        // a cancel leaves an earlier file of that name whole.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            throw unwritable(file);
        found = m_connection.engine().readBlob(
            text,
            [&](const char* bytes, qint64 size) {
                if (file.write(bytes, size) != size)
                    throw unwritable(file);
            },
            progress);
        if (found && !file.commit())
            throw unwritable(file);
    });
    return found;
}

bool Query::readBlob(const BlobSink& sink)
{
    close();
    const QString text = sqlText();
    notifyStatement(text);
    bool found = false;
    runStep([&](const Progress& progress) {
        found = m_connection.engine().readBlob(text, sink, progress);
    });
    return found;
}

QVariant Query::rowValue(int row, int position) const
{
    requireRowIndex(row);
    requirePosition(position);
    return valueAt(row, position);
}

void Query::setRowValue(int row, int position, const QVariant& value)
{
    requireRowIndex(row);
    requirePosition(position);
    if (m_states.at(row) == RowState::Unchanged) {
        const bool edited = m_edited.contains(row);
        QList<QVariant> values = rowValues(row);
        if (!edited)
            m_edited.insert(row, values);
        m_originals.insert(row, Original{std::move(values), edited});
        m_states[row] = RowState::Modified;
    }
    m_edited[row][position] = value;
}

Query::RowState Query::rowState(int row) const
{
    requireRowIndex(row);
    return m_states.at(row);
}

void Query::appendRow()
{
    requireOpen();
    m_rows.appendBlankRow();
    m_states.append(RowState::Inserted);
    m_edited.insert(rowCount() - 1, QList<QVariant>(fieldCount()));
    m_current = rowCount() - 1;
}

void Query::postRow(int row)
{
    requireRowIndex(row);
    const RowState state = m_states.at(row);
    if (state == RowState::Unchanged)
        return;
    const int key = fieldIndex(KeyColumn);
    const QString table = baseTable();
    Engine& engine = m_connection.engine();

    QStringList columns;
    QList<QVariant> values;
    if (state == RowState::Inserted) {
        for (int i = 0; i < fieldCount(); ++i) {
            if (i != key && !isNullValue(valueAt(row, i))) {
                columns.append(m_rows.fieldNames.at(i));
                values.append(valueAt(row, i));
            }
        }
        const QString statement = engine.insertStatement(table, columns, m_rows.fieldNames.at(key));
        notifyStatement(statement);
        m_edited[row][key] = engine.insertRow(statement, values);
    } else {
        const QList<QVariant>& original = m_originals[row].values;
        QStringList assignments;
        QList<int> changed;
        for (int i = 0; i < fieldCount(); ++i) {
            const QVariant newValue = valueAt(row, i);
            if (i == key || sameValue(newValue, original.at(i)))
                continue;
            changed.append(i);
            // A NULL goes in as a literal: a typeless NULL parameter cannot be
            // converted to every column type on SQL Server.
            if (isNullValue(newValue)) {
                assignments.append(engine.quoteName(m_rows.fieldNames.at(i)) +
                                   QStringLiteral("=NULL"));
            } else {
                assignments.append(engine.quoteName(m_rows.fieldNames.at(i)) +
                                   QStringLiteral("=?"));
                values.append(newValue);
            }
        }
        if (!assignments.isEmpty()) {
            const QString statement = QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") +
                                      assignments.join(u',') + QStringLiteral(" WHERE ") +
                                      asRead(original, changed, values);
            notifyStatement(statement);
            if (engine.writeRow(statement, values) == 0)
                throw rowChangedElsewhere(m_rows.fieldNames.at(key), original.at(key), table);
        }
    }
    m_originals.remove(row);
    m_states[row] = RowState::Unchanged;
    readBack(row, table);
}

void Query::cancelRow(int row)
{
    requireRowIndex(row);
    if (m_states.at(row) == RowState::Inserted) {
        dropRow(row);
    } else if (m_states.at(row) == RowState::Modified) {
        Original original = m_originals.take(row);
        if (original.edited)
            m_edited.insert(row, std::move(original.values));
        else
            m_edited.remove(row);
        m_states[row] = RowState::Unchanged;
    }
}

void Query::deleteCurrentRow()
{
    requireRow();
    const RowState state = m_states.at(m_current);
    if (state != RowState::Inserted) {
        const int key = fieldIndex(KeyColumn);
        const QString table = baseTable();
        const QList<QVariant> shown = state == RowState::Modified
                                          ? m_originals.value(m_current).values
                                          : rowValues(m_current);
        // The row goes only as it was shown: a change saved by someone else
        // since then is not thrown away unseen. Blobs are not compared.
        QList<int> compared;
        for (int i = 0; i < fieldCount(); ++i) {
            if (i != key && shown.at(i).typeId() != QMetaType::QByteArray)
                compared.append(i);
        }
        QList<QVariant> values;
        const QString statement = QStringLiteral("DELETE FROM ") + table +
                                  QStringLiteral(" WHERE ") + asRead(shown, compared, values);
        notifyStatement(statement);
        if (m_connection.engine().writeRow(statement, values) == 0)
            throw rowChangedElsewhere(m_rows.fieldNames.at(key), shown.at(key), table);
    }
    dropRow(m_current);
}

void Query::readBack(int row, const QString& table)
{
    bool isNumber = false;
    const qlonglong key = valueAt(row, fieldIndex(KeyColumn)).toLongLong(&isNumber);
    if (!isNumber)
        return;
    Engine& engine = m_connection.engine();
    QStringList names;
    for (const QString& name : std::as_const(m_rows.fieldNames))
        names.append(engine.quoteName(name));
    const QString statement = QStringLiteral("SELECT ") + names.join(u',') +
                              QStringLiteral(" FROM ") + table + QStringLiteral(" WHERE ") +
                              engine.quoteName(KeyColumn) + u'=' + QString::number(key);
    notifyStatement(statement);
    const ResultRows stored = engine.select(statement, std::nullopt, {});
    if (stored.rowCount() == 0)
        return;
    QList<QVariant> values;
    values.reserve(fieldCount());
    for (int i = 0; i < fieldCount(); ++i)
        values.append(stored.value(0, i));
    m_edited[row] = std::move(values);
}

QString Query::asRead(const QList<QVariant>& read, const QList<int>& positions,
                      QList<QVariant>& values) const
{
    Engine& engine = m_connection.engine();
    const int key = fieldIndex(KeyColumn);
    QStringList conditions{engine.quoteName(m_rows.fieldNames.at(key)) + QStringLiteral("=?")};
    values.append(read.at(key));
    for (const int position : positions) {
        const QString name = engine.quoteName(m_rows.fieldNames.at(position));
        const QVariant& value = read.at(position);
        if (isNullValue(value)) {
            conditions.append(name + QStringLiteral(" IS NULL"));
            continue;
        }
        // A number is bound as it was read back, so it matches itself exactly.
        conditions.append(value.typeId() == QMetaType::QString ? engine.sameTextCondition(name)
                                                               : name + QStringLiteral("=?"));
        values.append(value);
    }
    return conditions.join(QStringLiteral(" AND "));
}

void Query::requireOpen() const
{
    if (!m_open)
        throw DbError(QStringLiteral("The query is not open."));
}

void Query::requireRow() const
{
    requireOpen();
    if (eof())
        throw DbError(QStringLiteral("There is no current row."));
}

void Query::requireRowIndex(int row) const
{
    requireOpen();
    if (row < 0 || row >= rowCount())
        throw DbError(QStringLiteral("There is no row %1.").arg(row));
}

void Query::requirePosition(int position) const
{
    if (position < 0 || position >= m_rows.fieldNames.size())
        throw DbError(QStringLiteral("There is no field at position %1.").arg(position));
}

QString Query::baseTable() const
{
    const QString table = sqlscan::firstFromTable(m_openedSql);
    if (table.isEmpty())
        throw DbError(QStringLiteral("The statement names no table to write the row to."));
    return table;
}

QVariant Query::valueAt(int row, int position) const
{
    if (!m_edited.isEmpty()) {
        const auto edited = m_edited.constFind(row);
        if (edited != m_edited.cend())
            return edited->at(position);
    }
    return m_rows.value(row, position);
}

QList<QVariant> Query::rowValues(int row) const
{
    QList<QVariant> values;
    values.reserve(fieldCount());
    for (int i = 0; i < fieldCount(); ++i)
        values.append(valueAt(row, i));
    return values;
}

namespace {

// The entries of the rows after a dropped one move up with their rows.
template <typename T> QHash<int, T> withoutRow(const QHash<int, T>& byRow, int row)
{
    QHash<int, T> moved;
    for (auto it = byRow.cbegin(); it != byRow.cend(); ++it) {
        if (it.key() != row)
            moved.insert(it.key() > row ? it.key() - 1 : it.key(), it.value());
    }
    return moved;
}

} // namespace

void Query::dropRow(int row)
{
    const bool wasCurrent = row == m_current;
    m_rows.removeRow(row);
    m_states.removeAt(row);
    m_edited = withoutRow(m_edited, row);
    m_originals = withoutRow(m_originals, row);
    if (m_current > row)
        --m_current;
    else if (wasCurrent && m_current >= rowCount())
        m_current = std::max(0, rowCount() - 1);
}

} // namespace db
