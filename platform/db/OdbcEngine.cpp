#include "OdbcEngine.h"

#include "DbError.h"
#include "OdbcClientFiles.h"
#include "ParameterFile.h"
#include "SqlScan.h"
#include "TdsPrelogin.h"

#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>
#include <QScopeGuard>
#include <algorithm>
#include <sqlext.h>

namespace db {

namespace {

const QString FileParameterName = QStringLiteral("file");

// FreeTDS honours the timeouts for reaching the server and for the login;
// without them a server that accepts TCP but never answers would hang the
// program.
constexpr SQLULEN ConnectSeconds = 10;

// FreeTDS cuts text and image values at its default text size (64 KB)
// unless the session raises it. With ANSI_WARNINGS a text too long for its
// column fails the statement instead of being cut short.
const QString SessionSetup = QStringLiteral("SET TEXTSIZE 2147483647;SET ANSI_WARNINGS ON");

// Marks the start of a unit inside a caller's transaction.
const QString UnitSavepoint = QStringLiteral("vardenix_unit");

const QString TransactionEnded =
    QStringLiteral("The server ended the transaction after an error; nothing of it was saved.");
const QString SessionLostInTransaction =
    QStringLiteral("The connection to SQL Server was lost in the middle of a transaction; "
                   "nothing of the transaction was saved.");

// The text with every ":file" parameter made a "?" marker of the driver, each
// bound to the file's bytes.
QString bindFile(odbc::Statement& statement, const QString& text, const FileParameter& file)
{
    // The server takes an empty text as an empty batch and reports nothing.
    if (sqlscan::statementCount(text) == 0)
        throw DbError(QStringLiteral("The statement text is empty."));
    const QList<qsizetype> positions = sqlscan::parameterPositions(text, FileParameterName);
    if (positions.isEmpty())
        return text;
    if (!file)
        throw DbError(QStringLiteral("The statement uses the parameter :file, but no value "
                                     "was given for it."));
    QString sent = text;
    for (auto position = positions.crbegin(); position != positions.crend(); ++position)
        sent.replace(*position, FileParameterName.size() + 1, u'?');
    // An empty file is an empty value, not NULL.
    const QByteArray bytes = file->isNull() ? QByteArray("") : *file;
    for (qsizetype k = 0; k < positions.size(); ++k)
        statement.bind(bytes);
    return sent;
}

} // namespace

QString connectFailureMessage(const QString& dataSource, const QString& driverText)
{
    const QString reason = driverText.trimmed();
    // Some driver versions give the SQLSTATE list alone for a refusal without
    // a reason.
    QString withoutStates = reason;
    withoutStates.remove(QRegularExpression(QStringLiteral("^,?\\s*[0-9A-Z;]*$")));
    if (withoutStates.isEmpty())
        return QStringLiteral("The login to SQL Server %1 failed; the server gave no reason.")
            .arg(dataSource);
    return QStringLiteral("Cannot connect to SQL Server %1: %2").arg(dataSource, reason);
}

namespace {

std::mutex trustMutex;
QStringList trustFiles;

// The first file of trusted certificates that exists, looked for at every login
// so that a file placed while the program runs counts from then on.
QString trustedCertificates()
{
    const std::lock_guard lock(trustMutex);
    for (const QString& file : std::as_const(trustFiles)) {
        if (QFileInfo::exists(file))
            return file;
    }
    return QString();
}

constexpr int PreloginSeconds = 5;

// The driver reports a server that cannot encrypt, and one whose certificate
// it does not trust, as any unreachable server; the first message of the
// protocol, which carries no login, tells them apart.
QString whyLoginFailed(const QString& dataSource, const odbc::ServerTarget& target,
                       const QString& driverText)
{
    const QString failure = connectFailureMessage(dataSource, driverText);
    if (target.address.port == 0 || driverText.contains(QLatin1String("Login failed")))
        return failure;
    const tds::Encryption encryption =
        tds::askEncryption(target.address.host, target.address.port, PreloginSeconds * 1000);
    if (encryption == tds::Encryption::NotOffered)
        return QStringLiteral("SQL Server %1 does not encrypt its sessions. The program signs in "
                              "only on an encrypted session: neither the password nor any record "
                              "was sent.")
            .arg(dataSource);
    if (encryption == tds::Encryption::Offered && !target.trustedCertificates.isEmpty())
        return QStringLiteral("The certificate of SQL Server %1 does not chain to a certificate of "
                              "%2; another machine may be answering in its place. Nothing was "
                              "sent. (%3)")
            .arg(dataSource, target.trustedCertificates, failure);
    return failure;
}

} // namespace

void setTrustedCertificatesFiles(const QStringList& paths)
{
    const std::lock_guard lock(trustMutex);
    trustFiles = paths;
}

OdbcEngine::OdbcEngine(const ConnectionStringParts& parts)
    : m_dataSource(parts.dataSource), m_database(parts.initialCatalog), m_user(parts.userId),
      m_password(parts.password)
{
    open();
}

OdbcEngine::~OdbcEngine()
{
    close();
}

void OdbcEngine::open()
{
    const odbc::ServerTarget target{serverAddress(m_dataSource), m_database, trustedCertificates()};
    const QString dataSource = odbc::dataSourceName(target);
    SQLHDBC handle = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, odbc::environment(), &handle)))
        throw DbError(QStringLiteral("The ODBC driver manager could not make a connection."));
    SQLSetConnectAttr(handle, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(ConnectSeconds),
                      0);
    SQLSetConnectAttr(handle, SQL_ATTR_CONNECTION_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(ConnectSeconds), 0);
    // Login and password go apart from the data source, so that any
    // characters in them arrive as typed.
    const auto reading = odbc::readingClientFiles();
    const SessionSocket::Sockets socketsBefore = SessionSocket::sockets();
    const SQLRETURN result = SQLConnectW(
        handle, odbc::wide(dataSource), SQLSMALLINT(dataSource.size()), odbc::wide(m_user),
        SQLSMALLINT(m_user.size()), odbc::wide(m_password), SQLSMALLINT(m_password.size()));
    if (!SQL_SUCCEEDED(result)) {
        const QString reason = odbc::diagnostics(SQL_HANDLE_DBC, handle).text;
        SQLFreeHandle(SQL_HANDLE_DBC, handle);
        throw DbError(whyLoginFailed(m_dataSource, target, reason));
    }
    m_session = odbc::Session{handle, false};
    {
        const std::lock_guard lock(m_runningMutex);
        m_socket = SessionSocket::appeared(socketsBefore, target.address.port);
    }
    try {
        command(SessionSetup);
    } catch (...) {
        close();
        throw;
    }
}

void OdbcEngine::close()
{
    if (m_session.handle == SQL_NULL_HDBC)
        return;
    // A transaction still open ends with the session: the server rolls it back.
    {
        const std::lock_guard lock(m_runningMutex);
        m_socket.reset();
    }
    SQLDisconnect(m_session.handle);
    SQLFreeHandle(SQL_HANDLE_DBC, m_session.handle);
    m_session = odbc::Session();
}

odbc::Session& OdbcEngine::session()
{
    if (m_session.handle == SQL_NULL_HDBC)
        open();
    return m_session;
}

void OdbcEngine::onStatement(const std::function<void(odbc::Statement&)>& work)
{
    if (m_transaction == TransactionState::EndedByServer)
        throw DbError(TransactionEnded);
    odbc::Session& live = session();
    try {
        odbc::Statement statement(live);
        const auto running = [&](odbc::Statement* now) {
            const std::lock_guard lock(m_runningMutex);
            m_running = now;
        };
        running(&statement);
        const QScopeGuard done([&] { running(nullptr); });
        work(statement);
        m_verified = true;
    } catch (const DbError& error) {
        const bool inTransaction = m_transaction == TransactionState::Open;
        afterFailure();
        if (inTransaction && m_session.handle == SQL_NULL_HDBC)
            throw DbError(error.message() + u' ' + SessionLostInTransaction);
        throw;
    }
}

void OdbcEngine::afterFailure()
{
    if (m_session.lost) {
        close();
        ++m_sessionsLost;
        if (m_transaction == TransactionState::Open)
            m_transaction = TransactionState::EndedByServer;
        return;
    }
    if (m_transaction != TransactionState::Open)
        return;
    // Some errors end the whole transaction on the server, others only the
    // statement: the server's own count says which.
    bool open = false;
    try {
        odbc::Statement probe(m_session);
        probe.execute(QStringLiteral("SELECT @@TRANCOUNT"));
        ResultRows rows;
        probe.takeRows(rows);
        open = rows.rowCount() > 0 && rows.value(0, 0).toInt() > 0;
    } catch (const DbError&) {
        if (m_session.lost) {
            close();
            ++m_sessionsLost;
        }
    }
    if (!open)
        m_transaction = TransactionState::EndedByServer;
}

void OdbcEngine::readAgainIfSessionLost(const std::function<void()>& read)
{
    if (m_transaction != TransactionState::None) {
        read();
        return;
    }
    const quint64 lostBefore = m_sessionsLost;
    try {
        read();
        return;
    } catch (const DbError&) {
        if (m_sessionsLost == lostBefore)
            throw;
    }
    read();
}

void OdbcEngine::command(const QString& text)
{
    onStatement([&](odbc::Statement& statement) {
        statement.execute(text);
        while (statement.nextResult()) {
        }
    });
}

void OdbcEngine::verifySession()
{
    if (!m_verified && m_transaction == TransactionState::None)
        readAgainIfSessionLost([&] { command(QStringLiteral("SELECT 1")); });
}

bool OdbcEngine::resetForReuse()
{
    if (m_transaction != TransactionState::None || m_session.handle == SQL_NULL_HDBC)
        return false;
    // Whatever the last user's statements left: an open transaction, options.
    try {
        command(QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;") + SessionSetup);
    } catch (const DbError&) {
        return false;
    }
    return m_session.handle != SQL_NULL_HDBC;
}

bool OdbcEngine::reused()
{
    m_verified = false;
    return true;
}

void OdbcEngine::beginTransaction()
{
    if (m_transaction != TransactionState::None)
        throw DbError(QStringLiteral("A transaction is already open on this connection."));
    // Nothing has started yet, so a dead session is simply replaced.
    readAgainIfSessionLost([&] { command(QStringLiteral("BEGIN TRANSACTION")); });
    m_transaction = TransactionState::Open;
}

void OdbcEngine::commit()
{
    switch (m_transaction) {
    case TransactionState::None:
        throw DbError(QStringLiteral("No transaction is open on this connection."));
    case TransactionState::EndedByServer:
        m_transaction = TransactionState::None;
        throw DbError(TransactionEnded);
    case TransactionState::Open:
        break;
    }
    try {
        command(QStringLiteral("COMMIT TRANSACTION"));
    } catch (const DbError&) {
        if (m_transaction == TransactionState::Open && m_session.handle != SQL_NULL_HDBC) {
            try {
                command(QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION"));
            } catch (const DbError&) {
                // The commit's own error is the one to report.
            }
        }
        m_transaction = TransactionState::None;
        throw;
    }
    m_transaction = TransactionState::None;
}

void OdbcEngine::rollback()
{
    switch (m_transaction) {
    case TransactionState::None:
        throw DbError(QStringLiteral("No transaction is open on this connection."));
    case TransactionState::EndedByServer:
        m_transaction = TransactionState::None;
        return;
    case TransactionState::Open:
        break;
    }
    try {
        command(QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION"));
    } catch (const DbError&) {
        // A lost session took its transaction with it: that is a rollback too.
        if (m_session.handle != SQL_NULL_HDBC) {
            m_transaction = TransactionState::None;
            throw;
        }
    }
    m_transaction = TransactionState::None;
}

void OdbcEngine::inUnit(const std::function<void()>& work)
{
    if (m_transaction == TransactionState::None) {
        beginTransaction();
        try {
            work();
            commit();
        } catch (...) {
            try {
                if (m_transaction != TransactionState::None)
                    rollback();
            } catch (const DbError&) {
                // The work's own error is the one to report.
            }
            throw;
        }
        return;
    }
    // Within the caller's transaction only the work itself is undone.
    command(QStringLiteral("SAVE TRANSACTION ") + UnitSavepoint);
    try {
        work();
    } catch (...) {
        if (m_transaction == TransactionState::Open) {
            try {
                command(QStringLiteral("ROLLBACK TRANSACTION ") + UnitSavepoint);
            } catch (const DbError&) {
                // The work's own error is the one to report.
            }
        }
        throw;
    }
}

int OdbcEngine::runBatch(const QString& text, const FileParameter& file, ResultRows* rows,
                         const Progress& progress)
{
    int changed = 0;
    const auto run = [&] {
        changed = 0;
        onStatement([&](odbc::Statement& statement) {
            const QString sent = bindFile(statement, text, file);
            inFlightWhile(Direction::Waiting, -1, [&] { statement.execute(sent); });
            do {
                if (statement.columnCount() > 0) {
                    if (rows && rows->fieldNames.isEmpty())
                        statement.takeRows(*rows, progress);
                } else {
                    // A statement that changes no rows by its nature counts -1.
                    changed += std::max(0, statement.rowsAffected());
                }
            } while (statement.nextResult());
        });
    };
    // One statement is all or nothing by itself.
    if (sqlscan::statementCount(text) < 2)
        run();
    else
        inUnit(run);
    return changed;
}

ResultRows OdbcEngine::select(const QString& text, const FileParameter& file,
                              const Progress& progress)
{
    ResultRows rows;
    readAgainIfSessionLost([&] {
        rows = ResultRows();
        runBatch(text, file, &rows, progress);
    });
    if (rows.fieldNames.isEmpty())
        throw DbError(QStringLiteral("The statement returns no rows."));
    return rows;
}

int OdbcEngine::execute(const QString& text, const FileParameter& file)
{
    verifySession();
    return runBatch(text, file, nullptr);
}

int OdbcEngine::countRows(const QString& text, const FileParameter& file, const Progress& progress)
{
    int count = 0;
    readAgainIfSessionLost([&] {
        // The server runs whatever the text says before it is known whether
        // it returns rows; a text that returns none is undone.
        inUnit([&] {
            onStatement([&](odbc::Statement& statement) {
                statement.execute(bindFile(statement, text, file));
                bool counted = false;
                do {
                    if (!counted && statement.columnCount() > 0) {
                        count = statement.skipRows(progress);
                        counted = true;
                    }
                } while (statement.nextResult());
                if (!counted)
                    throw DbError(QStringLiteral("The statement returns no rows."));
            });
        });
    });
    return count;
}

int OdbcEngine::executeWithFile(const QString& text, QIODevice& file, const Progress& progress)
{
    const QList<qsizetype> positions = sqlscan::parameterPositions(text, FileParameterName);
    if (positions.size() != 1 || sqlscan::statementCount(text) != 1) {
        // A batch, or the file in several places, takes the file whole.
        reportProgress(progress, 0, file.size());
        const QByteArray bytes = readParameterFile(file);
        reportProgress(progress, bytes.size(), bytes.size());
        int changed = 0;
        inFlightWhile(Direction::Sending, bytes.size(), [&] { changed = execute(text, bytes); });
        return changed;
    }
    QString sent = text;
    sent.replace(positions.first(), FileParameterName.size() + 1, u'?');

    verifySession();
    int changed = 0;
    onStatement([&](odbc::Statement& statement) {
        statement.bindAtExecution(file.size());
        // The driver gathers the value before it sends it: what reached the
        // server is told by the session's socket.
        inFlightWhile(Direction::Sending, file.size(),
                      [&] { statement.executeFeeding(sent, file, file.size(), progress); });
        do {
            if (statement.columnCount() == 0)
                changed += std::max(0, statement.rowsAffected());
        } while (statement.nextResult());
    });
    return changed;
}

void OdbcEngine::interrupt()
{
    const std::lock_guard lock(m_runningMutex);
    if (m_running)
        m_running->cancelFromElsewhere();
}

std::optional<InFlight> OdbcEngine::inFlight()
{
    const std::lock_guard lock(m_runningMutex);
    if (!m_transfer)
        return std::nullopt;
    const Transfer& transfer = *m_transfer;
    const InFlight waiting{-1, transfer.total};
    if (transfer.direction == Direction::Waiting || !transfer.before || !m_socket)
        return waiting;
    const std::optional<SessionSocket::Traffic> now = m_socket->traffic();
    if (!now)
        return waiting;
    qint64 moved = transfer.direction == Direction::Sending
                       ? now->acknowledged - transfer.before->acknowledged
                       : now->received - transfer.before->received;
    // The network also carries the protocol's headers and the encryption's:
    // the last byte is not told as through before the call has ended.
    if (transfer.total >= 0)
        moved = std::min(moved, transfer.total - 1);
    return InFlight{std::max<qint64>(0, moved), transfer.total};
}

void OdbcEngine::inFlightWhile(Direction direction, qint64 total, const std::function<void()>& work)
{
    bool marked = false;
    {
        const std::lock_guard lock(m_runningMutex);
        // A call within a transfer already marked belongs to it.
        if (!m_transfer) {
            // Every statement waits for the server: its bytes are not
            // counted, so the socket is not asked.
            const bool counted = direction != Direction::Waiting && m_socket;
            m_transfer = Transfer{direction, total, counted ? m_socket->traffic() : std::nullopt};
            marked = true;
        }
    }
    const QScopeGuard ended([this, marked] {
        if (!marked)
            return;
        const std::lock_guard lock(m_runningMutex);
        m_transfer.reset();
    });
    work();
}

bool OdbcEngine::readBlob(const QString& text, const BlobSink& sink, const Progress& progress)
{
    if (sqlscan::statementCount(text) != 1)
        throw DbError(QStringLiteral("The blob cannot be read in pieces by: %1").arg(text));
    // Not read again on a new session: the sink may have taken pieces already.
    verifySession();
    bool found = false;
    onStatement([&](odbc::Statement& statement) {
        // The driver takes in the whole value before it hands over the first
        // piece: what arrived is told by the session's socket.
        inFlightWhile(Direction::Receiving, -1, [&] {
            statement.execute(text);
            if (statement.columnCount() == 0)
                throw DbError(QStringLiteral("The statement returns no rows."));
            if (statement.fetch()) {
                found = true;
                reportProgress(progress, 0, -1);
                statement.readBytesTo(1, sink, progress);
            }
        });
        while (statement.nextResult()) {
        }
    });
    return found;
}

QString OdbcEngine::quoteName(const QString& name) const
{
    QString quoted = name;
    quoted.replace(u']', QStringLiteral("]]"));
    return u'[' + quoted + u']';
}

QString OdbcEngine::insertStatement(const QString& table, const QStringList& columns,
                                    const QString& keyColumn) const
{
    // SCOPE_IDENTITY() is the identity that this statement assigned, whatever
    // a trigger inserts elsewhere; an OUTPUT clause would be refused on a
    // table that has triggers.
    return insertInto(table, columns) +
           QStringLiteral(";SELECT CONVERT(bigint, SCOPE_IDENTITY()) AS ") + quoteName(keyColumn);
}

QVariant OdbcEngine::insertRow(const QString& statement, const QList<QVariant>& values)
{
    verifySession();
    QVariant key;
    onStatement([&](odbc::Statement& query) {
        for (const QVariant& value : values)
            query.bind(value);
        query.execute(statement);
        // The INSERT's row count comes first, the key as the row of the
        // first result with columns.
        bool found = false;
        do {
            if (!found && query.columnCount() > 0) {
                ResultRows rows;
                query.takeRows(rows);
                if (rows.rowCount() > 0)
                    key = rows.value(0, 0);
                found = true;
            }
        } while (query.nextResult());
    });
    if (!key.isValid())
        throw DbError(QStringLiteral("The server did not return the new row's key."));
    return key;
}

int OdbcEngine::writeRow(const QString& statement, const QList<QVariant>& values)
{
    verifySession();
    int count = -1;
    onStatement([&](odbc::Statement& query) {
        for (const QVariant& value : values)
            query.bind(value);
        query.execute(statement);
        count = query.rowsAffected();
        while (query.nextResult()) {
        }
    });
    if (count < 0)
        throw DbError(QStringLiteral("The database did not report how many rows were changed."));
    return count;
}

QString OdbcEngine::sameTextCondition(const QString& quotedName) const
{
    // A binary collation compares code points; the column is made Unicode
    // first, so that its own code page still reads its bytes.
    return QStringLiteral("CONVERT(nvarchar(4000),") + quotedName +
           QStringLiteral(") COLLATE Latin1_General_BIN2=?");
}

} // namespace db
