#pragma once

#include "ChangeStamp.h"
#include "Progress.h"

#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace db {

class Engine;

// What connecting does when the embedded database's file is missing.
enum class MissingFile
{
    CreateFirstTime, // makes it, unless this process has had it open before
    Refuse,          // DbError, the disk left as it is
    Create,          // makes it
};

// A database connection configured by an ADO-style connection string:
//   Provider=SQLOLEDB.1;Initial Catalog=<db>;Data Source=<host>;Password=<pw>;
//   Persist Security Info=True;User ID=<user>
// "Data Source=(localdb)" (any letter case) selects the embedded engine, the
// SQLite file <Initial Catalog>.db in the program's folder; anything else is a
// SQL Server reached through ODBC and FreeTDS. The layer never prompts for a
// login. Every failure throws db::DbError.
//
// An embedded database's file that this process has had open is never made
// again: when it has gone (deleted or moved), connecting and every later
// statement on an open connection fail with "The database file ... does not
// exist." instead of working on an empty new file or on the vanished one.
//
// A connection, its session and the queries on it are used by one thread at
// a time: the one that owns the connection, which is the thread that made
// it until the connection is lent (lent()) or handed over (handOver()). A
// call from any other thread throws DbError and does nothing; only
// interrupt() comes from elsewhere.
class Connection final
{
public:
    Connection();
    explicit Connection(const QString& connectionString,
                        MissingFile missing = MissingFile::CreateFirstTime);
    ~Connection(); // releases: disconnects

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setConnectionString(const QString& connectionString);
    const QString& connectionString() const { return m_connectionString; }

    // True when the string selects the embedded engine, which keeps text as
    // Unicode; a SQL Server keeps varchar text in its collation's code page.
    bool isEmbedded() const;
    // True when the string selects the embedded engine and names a database
    // whose file does not exist (yet).
    bool databaseFileMissing() const;
    void setMissingFile(MissingFile missing) { m_missing = missing; } // for the next connect

    // A session released by an earlier connection with the same string is
    // taken up again where the engine pools them (see SessionPool).
    // At once; throws DbError when the engine refuses. Logging in to a server
    // may wait for it up to the login timeout: with a progress, told the
    // milliseconds waited, the attempt runs beside the caller, who may give
    // up waiting (Cancelled); the attempt then ends on its own.
    void connect(const Progress& progress = {});
    void disconnect(); // harmless when not connected
    bool isConnected() const;

    // Transactions for writes that must be all-or-nothing.
    void beginTransaction();
    void commit();
    void rollback();

    Engine& engine(); // connects first when not yet connected

    // Called from another thread while a call on this connection runs there:
    // the call ends soon with a DbError (see Engine::interrupt()). The session
    // is then not pooled again. A commit is never interrupted: once it is on
    // its way this says false and leaves it to end as it will.
    bool interrupt();
    // Called from another thread like interrupt(): what the call that runs
    // there has moved over the network (see Gauge).
    std::optional<InFlight> inFlight();
    // Changes whenever what the connection reads may have changed (see
    // Engine::changeStamp()); connects first when not yet connected.
    std::optional<ChangeStamp> changeStamp();

    // The work, run on whichever thread, with the connection lent to that
    // thread for the time it runs: the owner, which calls this, may not use
    // the connection meanwhile, and has it back when the work ends. Run on
    // the owner's own thread it is simply the work.
    Work lent(Work work);
    // Makes the thread the connection's owner from now on; called by the
    // owner, for a connection handed to a thread for good.
    void handOver(std::thread::id thread);
    // DbError unless the calling thread owns the connection.
    void requireOwner() const;

private:
    QString m_connectionString;
    MissingFile m_missing = MissingFile::CreateFirstTime;
    std::unique_ptr<Engine> m_engine;
    QString m_poolKey;        // where the session goes when released
    std::mutex m_engineMutex; // guards m_engine against interrupt() from elsewhere
    bool m_interrupted = false;
    bool m_committing = false; // guarded by m_engineMutex too
    // The thread that may use the connection; none while it is lent and not yet borrowed.
    std::atomic<std::thread::id> m_owner = std::this_thread::get_id();
};

// Rolls back on destruction unless commit() was called, so an exception that
// leaves a multi-statement write early undoes it.
class Transaction final
{
public:
    explicit Transaction(Connection& connection);
    ~Transaction();

    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Connection& m_connection;
    bool m_done = false;
};

} // namespace db
