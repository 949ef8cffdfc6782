#pragma once

#include "ConnectionString.h"
#include "Engine.h"
#include "OdbcStatement.h"
#include "SessionSocket.h"

#include <QStringList>
#include <functional>
#include <mutex>
#include <optional>

namespace db {

// The message of a failed connection attempt: the server as the operator gave
// it and the driver's reason, kept whole. A refusal that comes without a
// reason still says that the login failed.
QString connectFailureMessage(const QString& dataSource, const QString& driverText);

// Every session with SQL Server is encrypted from before the login on; a
// server that cannot encrypt is refused. When one of the PEM files named here
// exists (the first one found counts; they are looked for at every login),
// the server's certificate must chain to one of its certificates, or be one
// of them; without one the session is encrypted but the server is not
// verified.
void setTrustedCertificatesFiles(const QStringList& paths);

// SQL Server through unixODBC and the FreeTDS driver. Statements go to the
// server as written, texts in both directions as UTF-16. Every result of a
// batch is walked, so that a failing later statement is reported, and a
// batch is all or nothing: in a transaction of its own, or behind a
// savepoint in the caller's.
//
// The server may end a transaction itself when a statement in it fails; the
// engine then refuses the rest of that transaction's work until it is rolled
// back, so nothing of it is half applied. A session the server has dropped
// (a restart, a failover) is replaced by a new one at the next statement; a
// read that met the dead session runs again on the new one, while a write or
// a transaction in flight is reported as failed.
class OdbcEngine final : public Engine
{
public:
    explicit OdbcEngine(const ConnectionStringParts& parts); // connects; DbError when refused
    ~OdbcEngine() override;

    OdbcEngine(const OdbcEngine&) = delete;
    OdbcEngine& operator=(const OdbcEngine&) = delete;

    void beginTransaction() override;
    void commit() override;
    void rollback() override;

    ResultRows select(const QString& text, const FileParameter& file,
                      const Progress& progress) override;
    int execute(const QString& text, const FileParameter& file) override;
    int countRows(const QString& text, const FileParameter& file,
                  const Progress& progress) override;
    int executeWithFile(const QString& text, QIODevice& file, const Progress& progress) override;
    bool readBlob(const QString& text, const BlobSink& sink, const Progress& progress) override;
    void interrupt() override;
    std::optional<InFlight> inFlight() override;

    QString quoteName(const QString& name) const override;
    QString insertStatement(const QString& table, const QStringList& columns,
                            const QString& keyColumn) const override;
    QVariant insertRow(const QString& statement, const QList<QVariant>& values) override;
    int writeRow(const QString& statement, const QList<QVariant>& values) override;
    QString sameTextCondition(const QString& quotedName) const override;

    bool resetForReuse() override;
    bool reused() override;

private:
    enum class TransactionState
    {
        None,
        Open,
        EndedByServer, // a failure ended it; only a rollback is accepted
    };

    void open();
    void close();
    odbc::Session& session(); // the live session, a new one after a lost one

    // Runs the work on a statement of the session and notes what a failure
    // did to the session and to the transaction.
    void onStatement(const std::function<void(odbc::Statement&)>& work);
    void afterFailure();
    // Runs a read once more on a new session when the old one was found dead.
    void readAgainIfSessionLost(const std::function<void()>& read);
    // Runs the work all or nothing, within the caller's transaction if one is open.
    void inUnit(const std::function<void()>& work);
    // Returns the number of rows the batch changed.
    int runBatch(const QString& text, const FileParameter& file, ResultRows* rows,
                 const Progress& progress = {});
    void command(const QString& text);
    // Runs the work with its bytes shown as in flight (see inFlight()).
    enum class Direction
    {
        Sending,
        Receiving,
        Waiting // for the server's answer; what it moves is not counted
    };
    void inFlightWhile(Direction direction, qint64 total, const std::function<void()>& work);
    // Before a write on a session that came idle from the pool: a read that
    // finds a dead session replaces it, where a write would only fail.
    void verifySession();

    QString m_dataSource;
    QString m_database;
    QString m_user;
    QString m_password;
    odbc::Session m_session;
    TransactionState m_transaction = TransactionState::None;
    quint64 m_sessionsLost = 0;
    bool m_verified = true; // a statement has worked since the session was taken
    // Guards what interrupt() and inFlight() read from elsewhere.
    std::mutex m_runningMutex;
    odbc::Statement* m_running = nullptr;
    std::optional<SessionSocket> m_socket; // none when it could not be told
    struct Transfer
    {
        Direction direction;
        qint64 total;
        std::optional<SessionSocket::Traffic> before;
    };
    std::optional<Transfer> m_transfer;
};

} // namespace db
