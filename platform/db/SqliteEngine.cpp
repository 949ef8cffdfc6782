#include "SqliteEngine.h"

#include "Binding.h"
#include "DbError.h"
#include "ParameterFile.h"
#include "SqliteBlobStatements.h"
#include "SqliteCollation.h"
#include "SqliteDialect.h"
#include "SqliteFunctions.h"
#include "platform/paths/ProgramPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace db {

namespace {

const QString BatchSavepoint = QStringLiteral("vardenix_batch");
// How many statement translations a connection keeps, and how many schemas'
// text columns the process keeps: enough for the few statements and files in
// use, small enough that a full store is simply emptied.
constexpr qsizetype KeptTranslations = 64;
constexpr qsizetype KeptSchemas = 16;
// How long a statement waits for another program's lock on the file before
// it fails with "database is locked".
constexpr int BusyTimeoutMs = 5000;

std::atomic<int> openSessionCount = 0;
std::atomic<quint64> lastSessionNumber = 0;

QString missingFileMessage(const QString& path)
{
    return QStringLiteral("The database file %1 does not exist.").arg(path);
}

// The files this process has had open, which it never makes again.
class OpenedFiles
{
public:
    static bool contains(const QString& path)
    {
        const QMutexLocker lock(&mutex());
        return paths().contains(path);
    }
    static void add(const QString& path)
    {
        const QMutexLocker lock(&mutex());
        paths().insert(path);
    }

private:
    static QMutex& mutex()
    {
        static QMutex instance;
        return instance;
    }
    static QSet<QString>& paths()
    {
        static QSet<QString> instance;
        return instance;
    }
};

// One prepared statement on the connection, finalized when it goes.
class Statement
{
public:
    Statement(sqlite3* handle, const QString& sql) : m_handle(handle)
    {
        const QByteArray text = sql.toUtf8();
        // SQLite stops reading at a NUL: the statement would run cut short.
        if (text.contains('\0'))
            throw DbError(QStringLiteral("The statement text holds a NUL character, at which "
                                         "SQLite would stop reading it."));
        const char* rest = nullptr;
        if (sqlite3_prepare_v2(handle, text.constData(), static_cast<int>(text.size()),
                               &m_statement, &rest) != SQLITE_OK)
            fail();
        if (!m_statement)
            throw DbError(QStringLiteral("The statement text is empty."));
        // SQLite compiles only the first statement of a text; the rest, up to
        // the text's end, must not be lost.
        const char* end = text.constData() + text.size();
        while (rest && rest < end && isspace(static_cast<unsigned char>(*rest)))
            ++rest;
        if (rest != end) {
            sqlite3_finalize(m_statement);
            throw DbError(QStringLiteral("More than one statement in: %1").arg(sql));
        }
    }
    ~Statement() { sqlite3_finalize(m_statement); }

    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds ":file" when the statement names it. The bytes must outlive the
    // statement's run.
    void bindFile(const FileParameter& file)
    {
        const int index = sqlite3_bind_parameter_index(m_statement, ":file");
        const int named = index > 0 ? 1 : 0;
        if (sqlite3_bind_parameter_count(m_statement) > named)
            throw DbError(QStringLiteral("The statement has parameters other than :file."));
        if (!named)
            return;
        if (!file)
            throw DbError(QStringLiteral("The statement uses the parameter :file, but no value "
                                         "was given for it."));
        // A non-null pointer: an empty file is stored as an empty value, not NULL.
        check(sqlite3_bind_blob64(m_statement, index, file->isNull() ? "" : file->constData(),
                                  static_cast<sqlite3_uint64>(file->size()), SQLITE_STATIC));
    }

    // Binds ":file" to a blob of zeros of the size, to be filled in pieces.
    void bindZeroFile(qint64 size)
    {
        const int index = sqlite3_bind_parameter_index(m_statement, ":file");
        if (index <= 0 || sqlite3_bind_parameter_count(m_statement) != 1)
            throw DbError(QStringLiteral("The statement has parameters other than :file."));
        check(sqlite3_bind_zeroblob64(m_statement, index, static_cast<sqlite3_uint64>(size)));
    }

    // Binds the values to the "?" in order. QByteArray values must outlive the run.
    void bindValues(const QList<QVariant>& values)
    {
        if (sqlite3_bind_parameter_count(m_statement) != values.size())
            throw DbError(
                QStringLiteral("The statement does not take %1 values.").arg(values.size()));
        for (int i = 0; i < values.size(); ++i) {
            const QVariant& value = values.at(i);
            const int index = i + 1;
            switch (bindingOf(value)) {
            case Binding::Null:
                check(sqlite3_bind_null(m_statement, index));
                break;
            case Binding::Integer:
                check(sqlite3_bind_int64(m_statement, index, value.toLongLong()));
                break;
            case Binding::Real:
                check(sqlite3_bind_double(m_statement, index, value.toDouble()));
                break;
            case Binding::Blob: {
                const QByteArray* bytes = static_cast<const QByteArray*>(value.constData());
                check(sqlite3_bind_blob64(
                    m_statement, index, bytes->isNull() ? "" : bytes->constData(),
                    static_cast<sqlite3_uint64>(bytes->size()), SQLITE_STATIC));
                break;
            }
            case Binding::Text: {
                const QByteArray text = value.toString().toUtf8();
                check(sqlite3_bind_text64(m_statement, index, text.constData(),
                                          static_cast<sqlite3_uint64>(text.size()),
                                          SQLITE_TRANSIENT, SQLITE_UTF8));
                break;
            }
            }
        }
    }

    // Moves to the next row; false when there is none.
    bool step()
    {
        const int result = sqlite3_step(m_statement);
        if (result == SQLITE_ROW)
            return true;
        if (result != SQLITE_DONE)
            fail();
        return false;
    }

    int columnCount() const { return sqlite3_column_count(m_statement); }
    qint64 integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    QString text(int column) const
    {
        return QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column)),
            sqlite3_column_bytes(m_statement, column));
    }

    QStringList columnNames() const
    {
        QStringList names;
        for (int i = 0; i < columnCount(); ++i)
            names.append(QString::fromUtf8(sqlite3_column_name(m_statement, i)));
        return names;
    }

    // Appends the current row's values.
    void appendRow(ResultRows& rows) const
    {
        rows.beginRow();
        const int count = columnCount();
        for (int i = 0; i < count; ++i) {
            switch (sqlite3_column_type(m_statement, i)) {
            case SQLITE_NULL:
                rows.appendNull();
                break;
            case SQLITE_INTEGER:
                rows.appendLongLong(sqlite3_column_int64(m_statement, i));
                break;
            case SQLITE_FLOAT:
                rows.appendDouble(sqlite3_column_double(m_statement, i));
                break;
            case SQLITE_TEXT:
                rows.appendText(reinterpret_cast<const char*>(sqlite3_column_text(m_statement, i)),
                                sqlite3_column_bytes(m_statement, i));
                break;
            default:
                rows.appendBlob(static_cast<const char*>(sqlite3_column_blob(m_statement, i)),
                                sqlite3_column_bytes(m_statement, i));
                break;
            }
        }
    }

    // Every remaining row, told to the progress.
    void takeRows(ResultRows& rows, const Progress& progress)
    {
        rows.fieldNames = columnNames();
        qint64 read = 0;
        while (step()) {
            appendRow(rows);
            reportRows(progress, ++read);
        }
    }

private:
    void check(int result) const
    {
        if (result != SQLITE_OK)
            fail();
    }
    [[noreturn]] void fail() const { throw DbError(QString::fromUtf8(sqlite3_errmsg(m_handle))); }

    sqlite3* m_handle;
    sqlite3_stmt* m_statement = nullptr;
};

// The lower-case names of the columns declared as text, each in every table
// that has it, read from the tables' definitions. Many connections are made
// to the same files, so the result of each schema seen is kept for the
// process, keyed by the text of the definitions, which alone decides it.
QSet<QString> schemaTextColumns(sqlite3* handle)
{
    QString definitions;
    Statement tables(handle, QStringLiteral("SELECT sql FROM sqlite_schema WHERE type = 'table'"));
    while (tables.step())
        definitions += tables.text(0) + u'\0';

    static QMutex mutex;
    static QHash<QString, QSet<QString>> known;
    {
        const QMutexLocker lock(&mutex);
        if (const auto found = known.constFind(definitions); found != known.cend())
            return *found;
    }
    Statement names(handle, QStringLiteral("SELECT lower(p.name) FROM sqlite_schema AS s, "
                                           "pragma_table_info(s.name) AS p WHERE s.type = "
                                           "'table' GROUP BY lower(p.name) HAVING "
                                           "min(upper(p.type) = 'TEXT') = 1"));
    QSet<QString> columns;
    while (names.step())
        columns.insert(names.text(0));
    const QMutexLocker lock(&mutex);
    if (known.size() >= KeptSchemas)
        known.clear();
    known.insert(definitions, columns);
    return columns;
}

} // namespace

QString embeddedDatabasePath(const ConnectionStringParts& parts)
{
    const QString& name = parts.initialCatalog;
    if (name.isEmpty())
        throw DbError(QStringLiteral("The connection string names no database (Initial Catalog)."));
    if (name.contains(u'/') || name.contains(u'\\') || name == u"." || name == u"..")
        throw DbError(QStringLiteral("The database name \"%1\" is not a plain name.").arg(name));
    return ProgramPaths::folder() + name + QStringLiteral(".db");
}

SqliteEngine::SqliteEngine(const ConnectionStringParts& parts, MissingFile missing)
    : m_sessionNumber(++lastSessionNumber)
{
    try {
        m_path = embeddedDatabasePath(parts);
        m_nativePath = QFile::encodeName(m_path);
        const bool mayCreate =
            missing == MissingFile::Create ||
            (missing == MissingFile::CreateFirstTime && !OpenedFiles::contains(m_path));
        // Without SQLITE_OPEN_CREATE SQLite opens an existing file only, with
        // no moment between a look and the open in which the file could go.
        const int flags = SQLITE_OPEN_READWRITE | (mayCreate ? SQLITE_OPEN_CREATE : 0);
        const int opened = sqlite3_open_v2(m_nativePath.constData(), &m_handle, flags, nullptr);
        if (m_handle)
            ++openSessionCount;
        if (opened != SQLITE_OK) {
            if (!mayCreate && !QFileInfo::exists(m_path))
                throw DbError(missingFileMessage(m_path));
            throw DbError(QStringLiteral("Cannot open the database file %1: %2")
                              .arg(m_path, m_handle ? QString::fromUtf8(sqlite3_errmsg(m_handle))
                                                    : QString::fromUtf8(sqlite3_errstr(opened))));
        }
        sqlite3_busy_timeout(m_handle, BusyTimeoutMs);
        sqlite::addFunctions(m_handle);
        sqlite::addChineseCollation(m_handle);
        if (mayCreate)
            mapPagesOfNewFile();
        // Reads the file's header and schema now, so that a file that is no
        // database fails the connect.
        textColumns();
        OpenedFiles::add(m_path);
        m_file = fileIdentity();
    } catch (...) {
        close();
        throw;
    }
}

int SqliteEngine::openSessions()
{
    return openSessionCount.load();
}

// A file that keeps a map of its pages (incremental auto-vacuum) lets SQLite
// step over the overflow pages of a large blob to reach the columns behind it
// in the row, instead of reading every one of them. Only a file without
// tables can be given the map.
void SqliteEngine::mapPagesOfNewFile()
{
    Statement pages(m_handle, QStringLiteral("PRAGMA page_count"));
    if (pages.step() && pages.integer(0) == 0)
        command(QStringLiteral("PRAGMA auto_vacuum = INCREMENTAL"));
}

bool SqliteEngine::fileExists() const
{
    return ::access(m_nativePath.constData(), F_OK) == 0;
}

SqliteEngine::FileIdentity SqliteEngine::fileIdentity() const
{
    struct stat status;
    if (::stat(m_nativePath.constData(), &status) != 0)
        return {};
    return {quint64(status.st_dev), quint64(status.st_ino)};
}

void SqliteEngine::requireFile() const
{
    if (!fileExists())
        throw DbError(missingFileMessage(m_path));
}

bool SqliteEngine::resetForReuse()
{
    // A transaction left open is rolled back with the connection instead.
    // Whether the file is still there is asked when the session is taken.
    return m_handle && sqlite3_get_autocommit(m_handle);
}

bool SqliteEngine::reused()
{
    // A file moved away while the session waited is reported by a new
    // session, and one made anew in its place is opened by one.
    const FileIdentity now = fileIdentity();
    return now.inode != 0 && now == m_file;
}

SqliteEngine::~SqliteEngine()
{
    close();
}

void SqliteEngine::close()
{
    if (!m_handle)
        return;
    // Every statement is finalized by then; SQLite rolls back a transaction left open.
    sqlite3_close_v2(m_handle);
    m_handle = nullptr;
    --openSessionCount;
}

void SqliteEngine::beginTransaction()
{
    requireFile();
    command(QStringLiteral("BEGIN"));
}

void SqliteEngine::commit()
{
    requireFile();
    command(QStringLiteral("COMMIT"));
}

void SqliteEngine::rollback()
{
    command(QStringLiteral("ROLLBACK"));
}

// The columns declared as text in every table that has them, read again
// whenever the schema has changed. The file's data version, which SQLite
// keeps in memory, tells without a statement whether anything changed since
// the last look, so that reads in a row do not pay for a schema check each;
// a change made by another connection counts from this connection's next
// statement on.
const QSet<QString>& SqliteEngine::textColumns() const
{
    unsigned int dataVersion = 0;
    if (sqlite3_file_control(m_handle, "main", SQLITE_FCNTL_DATA_VERSION, &dataVersion) ==
            SQLITE_OK &&
        m_schemaVersion >= 0 && dataVersion == m_dataVersion)
        return m_textColumns;
    m_dataVersion = dataVersion;

    Statement version(m_handle, QStringLiteral("PRAGMA schema_version"));
    const qint64 schema = version.step() ? version.integer(0) : -1;
    if (schema == m_schemaVersion)
        return m_textColumns;

    m_textColumns = schemaTextColumns(m_handle);
    m_schemaVersion = schema;
    m_translations.clear();
    return m_textColumns;
}

// PRAGMA data_version looks at the file, so that a commit by another
// connection or program counts at once; it leaves out this connection's own
// changes, which its count of changes adds.
std::optional<ChangeStamp> SqliteEngine::changeStamp()
{
    requireFile();
    Statement version(m_handle, QStringLiteral("PRAGMA data_version"));
    if (!version.step())
        return std::nullopt;
    return ChangeStamp{m_sessionNumber, version.integer(0), sqlite3_total_changes64(m_handle)};
}

QStringList SqliteEngine::translate(const QString& text) const
{
    requireFile();
    const QSet<QString>& columns = textColumns();
    // Pages are loaded again and again with the same statements.
    if (const auto known = m_translations.constFind(text); known != m_translations.cend())
        return *known;
    QStringList statements = sqlite::translateBatch(text, columns);
    if (statements.isEmpty())
        throw DbError(QStringLiteral("The statement text is empty."));
    if (m_translations.size() >= KeptTranslations)
        m_translations.clear();
    m_translations.insert(text, statements);
    return statements;
}

void SqliteEngine::command(const QString& statement)
{
    Statement(m_handle, statement).step();
}

void SqliteEngine::runOne(const QString& statement, const FileParameter& file, ResultRows* rows,
                          const Progress& progress)
{
    Statement prepared(m_handle, statement);
    prepared.bindFile(file);
    if (rows && prepared.columnCount() > 0) {
        prepared.takeRows(*rows, progress);
    } else {
        while (prepared.step()) {
        }
    }
}

void SqliteEngine::runAll(const QStringList& statements, const FileParameter& file,
                          ResultRows* rows, const Progress& progress)
{
    if (statements.size() == 1) {
        runOne(statements.first(), file, rows, progress);
        return;
    }
    // SQLite runs one statement at a time; a savepoint makes the batch one unit.
    asOneUnit([&] {
        ResultRows* wanted = rows;
        for (const QString& statement : statements) {
            runOne(statement, file, wanted, progress);
            if (wanted && !wanted->fieldNames.isEmpty())
                wanted = nullptr;
        }
    });
}

void SqliteEngine::asOneUnit(const std::function<void()>& work)
{
    command(QStringLiteral("SAVEPOINT ") + BatchSavepoint);
    try {
        work();
        command(QStringLiteral("RELEASE ") + BatchSavepoint);
    } catch (...) {
        try {
            command(QStringLiteral("ROLLBACK TO ") + BatchSavepoint);
            command(QStringLiteral("RELEASE ") + BatchSavepoint);
        } catch (const DbError&) {
            // The work's own error is the one to report.
        }
        throw;
    }
}

ResultRows SqliteEngine::select(const QString& text, const FileParameter& file,
                                const Progress& progress)
{
    ResultRows rows;
    runAll(translate(text), file, &rows, progress);
    if (rows.fieldNames.isEmpty())
        throw DbError(QStringLiteral("The statement returns no rows."));
    return rows;
}

int SqliteEngine::execute(const QString& text, const FileParameter& file)
{
    const QStringList statements = translate(text);
    // The program's triggers refuse values and change no rows, so the
    // connection's total counts the statements' own changes.
    const sqlite3_int64 before = sqlite3_total_changes64(m_handle);
    runAll(statements, file, nullptr);
    return static_cast<int>(sqlite3_total_changes64(m_handle) - before);
}

int SqliteEngine::countRows(const QString& text, const FileParameter& file,
                            const Progress& progress)
{
    const QStringList statements = translate(text);
    if (statements.size() > 1)
        return static_cast<int>(select(text, file, progress).rowCount());
    Statement statement(m_handle, statements.first());
    if (statement.columnCount() == 0)
        throw DbError(QStringLiteral("The statement returns no rows."));
    statement.bindFile(file);
    // Steps through the rows without reading them: nothing is kept.
    int count = 0;
    while (statement.step())
        reportRows(progress, ++count);
    return count;
}

namespace {

// One blob of a row opened for incremental I/O, closed when it goes.
class Blob
{
public:
    Blob(sqlite3* handle, const QString& table, const QString& column, qint64 rowid, bool write)
        : m_handle(handle)
    {
        if (sqlite3_blob_open(handle, "main", table.toUtf8().constData(),
                              column.toUtf8().constData(), rowid, write ? 1 : 0,
                              &m_blob) != SQLITE_OK)
            fail();
    }
    ~Blob() { sqlite3_blob_close(m_blob); }

    Blob(const Blob&) = delete;
    Blob& operator=(const Blob&) = delete;

    qint64 size() const { return sqlite3_blob_bytes(m_blob); }
    void write(const char* bytes, qint64 size, qint64 offset)
    {
        if (sqlite3_blob_write(m_blob, bytes, static_cast<int>(size), static_cast<int>(offset)) !=
            SQLITE_OK)
            fail();
    }
    void read(char* bytes, qint64 size, qint64 offset)
    {
        if (sqlite3_blob_read(m_blob, bytes, static_cast<int>(size), static_cast<int>(offset)) !=
            SQLITE_OK)
            fail();
    }

private:
    [[noreturn]] void fail() const { throw DbError(QString::fromUtf8(sqlite3_errmsg(m_handle))); }

    sqlite3* m_handle;
    sqlite3_blob* m_blob = nullptr;
};

} // namespace

int SqliteEngine::executeWithFile(const QString& text, QIODevice& file, const Progress& progress)
{
    requireFile();
    const QStringList statements = translate(text);
    const std::optional<sqlite::BlobStatement> target =
        statements.size() == 1 ? sqlite::blobUpdate(statements.first()) : std::nullopt;
    const qint64 size = file.size();
    reportProgress(progress, 0, size);
    if (!target) {
        // Any other statement takes the file whole.
        const QByteArray bytes = readParameterFile(file);
        reportProgress(progress, size, size);
        return execute(text, bytes);
    }

    // The zeros and the bytes over them are one unit.
    QList<qint64> rowids;
    asOneUnit([&] {
        {
            Statement update(m_handle, target->rows);
            update.bindZeroFile(size);
            while (update.step())
                rowids.append(update.integer(0));
        }
        QByteArray piece(BlobPieceBytes, Qt::Uninitialized);
        for (const qint64 rowid : std::as_const(rowids)) {
            Blob blob(m_handle, target->table, target->column, rowid, true);
            file.seek(0);
            for (qint64 done = 0; done < size;) {
                const qint64 read = file.read(piece.data(), std::min(BlobPieceBytes, size - done));
                if (read <= 0)
                    throw unreadableFile(file);
                blob.write(piece.constData(), read, done);
                done += read;
                reportProgress(progress, done, size);
            }
        }
        reportProgress(progress, size, size);
    });
    return static_cast<int>(rowids.size());
}

void SqliteEngine::interrupt()
{
    sqlite3_interrupt(m_handle);
}

bool SqliteEngine::readBlob(const QString& text, const BlobSink& sink, const Progress& progress)
{
    requireFile();
    const QStringList statements = translate(text);
    const std::optional<sqlite::BlobStatement> source =
        statements.size() == 1 ? sqlite::blobSelect(statements.first()) : std::nullopt;
    if (!source)
        throw DbError(QStringLiteral("The blob cannot be read in pieces by: %1").arg(text));
    // A read transaction keeps the row as it is while its pieces are read.
    const bool own = sqlite3_get_autocommit(m_handle) != 0;
    if (own)
        command(QStringLiteral("BEGIN"));
    try {
        bool found = false;
        {
            Statement rows(m_handle, source->rows);
            found = rows.step();
            if (found && rows.text(1) != QLatin1String("null")) {
                Blob blob(m_handle, source->table, source->column, rows.integer(0), false);
                const qint64 size = blob.size();
                reportProgress(progress, 0, size);
                QByteArray piece(BlobPieceBytes, Qt::Uninitialized);
                for (qint64 done = 0; done < size;) {
                    const qint64 length = std::min(BlobPieceBytes, size - done);
                    blob.read(piece.data(), length, done);
                    sink(piece.constData(), length);
                    done += length;
                    reportProgress(progress, done, size);
                }
            }
        }
        if (own)
            command(QStringLiteral("COMMIT"));
        return found;
    } catch (...) {
        if (own)
            sqlite3_exec(m_handle, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

QString SqliteEngine::quoteName(const QString& name) const
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString SqliteEngine::insertStatement(const QString& table, const QStringList& columns,
                                      const QString& keyColumn) const
{
    return insertInto(table, columns) + QStringLiteral(" RETURNING ") + quoteName(keyColumn);
}

QVariant SqliteEngine::insertRow(const QString& statement, const QList<QVariant>& values)
{
    requireFile();
    Statement prepared(m_handle, statement);
    prepared.bindValues(values);
    if (!prepared.step())
        throw DbError(QStringLiteral("The database did not return the new row's key."));
    ResultRows row;
    prepared.appendRow(row);
    const QVariant key = row.value(0, 0);
    while (prepared.step()) {
    }
    return key;
}

int SqliteEngine::writeRow(const QString& statement, const QList<QVariant>& values)
{
    requireFile();
    Statement prepared(m_handle, statement);
    prepared.bindValues(values);
    while (prepared.step()) {
    }
    return sqlite3_changes(m_handle);
}

QString SqliteEngine::sameTextCondition(const QString& quotedName) const
{
    // Text columns compare without regard to case; BINARY compares the bytes.
    return quotedName + QStringLiteral("=? COLLATE BINARY");
}

} // namespace db
