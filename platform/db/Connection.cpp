#include "Connection.h"

#include "ConnectionString.h"
#include "DbError.h"
#include "Engine.h"
#include "OdbcEngine.h"
#include "SessionPool.h"
#include "SqliteEngine.h"
#include "platform/paths/ProgramPaths.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutex>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace db {

namespace {

// What a connection string selects: the engine, its settings and the key its
// released sessions are pooled under (empty: none).
struct Target
{
    ConnectionStringParts parts;
    bool embedded = false;
    QString poolKey;
};

Target targetOf(const QString& connectionString)
{
    const ConnectionStringParts parts = parseConnectionString(connectionString);
    Target target{parts, isEmbeddedDataSource(parts.dataSource), connectionString};
    // The embedded engine's file depends on the program's folder as well.
    if (target.embedded) {
        try {
            target.poolKey += u'\n' + embeddedDatabasePath(parts);
        } catch (const DbError&) {
            target.poolKey.clear(); // a name that makes no file: the engine says so
        }
    }
    return target;
}

// Many operations make a fresh connection with the same string: what it
// selects is worked out again only when the string or the program's folder
// has changed.
struct KnownTarget
{
    QMutex mutex;
    bool any = false;
    QString connectionString;
    QString folder;
    Target target;
};

Target cachedTargetOf(const QString& connectionString)
{
    // Never destroyed: objects destroyed at exit may still connect.
    static auto* known = new KnownTarget;
    const QString folder = ProgramPaths::folder();
    {
        const QMutexLocker lock(&known->mutex);
        if (known->any && known->connectionString == connectionString && known->folder == folder)
            return known->target;
    }
    Target target = targetOf(connectionString);
    const QMutexLocker lock(&known->mutex);
    known->any = true;
    known->connectionString = connectionString;
    known->folder = folder;
    known->target = target;
    return target;
}

} // namespace

Connection::Connection() = default;

Connection::Connection(const QString& connectionString, MissingFile missing)
    : m_connectionString(connectionString), m_missing(missing)
{
}

Connection::~Connection()
{
    if (m_owner.load() != std::this_thread::get_id())
        qFatal("A database connection is destroyed by a thread that does not own it.");
    disconnect();
}

void Connection::requireOwner() const
{
    if (m_owner.load() != std::this_thread::get_id())
        throw DbError(QStringLiteral("The connection is used by a thread that does not own it."));
}

void Connection::handOver(std::thread::id thread)
{
    requireOwner();
    m_owner = thread;
}

Work Connection::lent(Work work)
{
    requireOwner();
    const std::thread::id lender = std::this_thread::get_id();
    return [this, lender, work = std::move(work)](const Progress& progress) {
        const std::thread::id borrower = std::this_thread::get_id();
        if (borrower == lender) {
            work(progress);
            return;
        }
        std::thread::id expected = lender;
        if (!m_owner.compare_exchange_strong(expected, borrower))
            throw DbError(
                QStringLiteral("The connection is used by a thread that does not own it."));
        // Back to the lender on every path, before the lender goes on.
        struct GiveBack
        {
            std::atomic<std::thread::id>& owner;
            std::thread::id lender;
            ~GiveBack() { owner = lender; }
        } giveBack{m_owner, lender};
        work(progress);
    };
}

void Connection::setConnectionString(const QString& connectionString)
{
    disconnect();
    m_connectionString = connectionString;
}

bool Connection::isEmbedded() const
{
    return isEmbeddedDataSource(parseConnectionString(m_connectionString).dataSource);
}

bool Connection::databaseFileMissing() const
{
    const ConnectionStringParts parts = parseConnectionString(m_connectionString);
    if (!isEmbeddedDataSource(parts.dataSource))
        return false;
    try {
        return !QFileInfo::exists(embeddedDatabasePath(parts));
    } catch (const DbError&) {
        return false; // no file can have that name
    }
}

namespace {

// The threads of logins that their callers gave up waiting for. Each ends
// by itself within the login timeout and closes the session it made; the
// process joins them before it ends, so that none outlives the program.
class GivenUpLogins
{
public:
    static void keep(std::thread login)
    {
        GivenUpLogins& all = instance();
        const std::lock_guard lock(all.m_mutex);
        all.m_threads.push_back(std::move(login));
    }

    ~GivenUpLogins()
    {
        for (std::thread& login : m_threads)
            login.join();
    }

private:
    static GivenUpLogins& instance()
    {
        static GivenUpLogins logins;
        return logins;
    }

    std::mutex m_mutex;
    std::vector<std::thread> m_threads;
};

// A login to the server made beside the caller, who polls for it and may
// give it up; a given-up login closes its session itself when it ends.
std::unique_ptr<Engine> connectBeside(const ConnectionStringParts& parts, const Progress& progress)
{
    struct Attempt
    {
        std::mutex mutex;
        std::unique_ptr<Engine> engine;
        std::exception_ptr error;
        bool done = false;
        bool givenUp = false;
    };
    auto attempt = std::make_shared<Attempt>();
    std::thread login([attempt, parts] {
        std::unique_ptr<Engine> engine;
        std::exception_ptr error;
        try {
            engine = std::make_unique<OdbcEngine>(parts);
        } catch (...) {
            error = std::current_exception();
        }
        const std::lock_guard lock(attempt->mutex);
        if (attempt->givenUp)
            return; // the session closes here, on the thread that made it
        attempt->engine = std::move(engine);
        attempt->error = error;
        attempt->done = true;
    });

    QElapsedTimer waited;
    waited.start();
    for (;;) {
        {
            std::unique_lock lock(attempt->mutex);
            if (attempt->done) {
                lock.unlock();
                login.join();
                // The session made on the login's thread is handed to the caller's.
                if (attempt->error)
                    std::rethrow_exception(attempt->error);
                return std::move(attempt->engine);
            }
        }
        try {
            reportProgress(progress, waited.elapsed(), -1);
        } catch (...) {
            {
                const std::lock_guard lock(attempt->mutex);
                attempt->givenUp = true;
            }
            GivenUpLogins::keep(std::move(login));
            throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

void Connection::connect(const Progress& progress)
{
    requireOwner();
    if (m_engine)
        return;
    const Target target = cachedTargetOf(m_connectionString);
    m_poolKey = target.poolKey;
    std::unique_ptr<Engine> engine;
    if (!m_poolKey.isEmpty())
        engine = SessionPool::take(m_poolKey);
    if (!engine) {
        if (target.embedded)
            engine = std::make_unique<SqliteEngine>(target.parts, m_missing);
        else if (progress)
            engine = connectBeside(target.parts, progress);
        else
            engine = std::make_unique<OdbcEngine>(target.parts);
    }
    const std::lock_guard lock(m_engineMutex);
    m_engine = std::move(engine);
}

void Connection::disconnect()
{
    requireOwner();
    const std::lock_guard lock(m_engineMutex);
    // A session interrupted in the middle of a call is not handed on.
    if (m_engine && !m_poolKey.isEmpty() && !m_interrupted)
        SessionPool::give(m_poolKey, std::move(m_engine));
    m_engine.reset();
    m_interrupted = false;
}

bool Connection::interrupt()
{
    const std::lock_guard lock(m_engineMutex);
    if (!m_engine || m_committing)
        return false;
    m_interrupted = true;
    m_engine->interrupt();
    return true;
}

std::optional<InFlight> Connection::inFlight()
{
    const std::lock_guard lock(m_engineMutex);
    return m_engine ? m_engine->inFlight() : std::nullopt;
}

std::optional<ChangeStamp> Connection::changeStamp()
{
    return engine().changeStamp();
}

bool Connection::isConnected() const
{
    return m_engine != nullptr;
}

void Connection::beginTransaction()
{
    engine().beginTransaction();
}

void Connection::commit()
{
    requireOwner();
    if (!m_engine)
        throw DbError(QStringLiteral("No transaction is open: the connection is closed."));
    // A cancel that raced the commit could leave the operator told "nothing
    // done" of a write that the server kept: from here on it is not sent.
    {
        const std::lock_guard lock(m_engineMutex);
        m_committing = true;
    }
    struct Committed
    {
        std::mutex& mutex;
        bool& committing;
        ~Committed()
        {
            const std::lock_guard lock(mutex);
            committing = false;
        }
    } committed{m_engineMutex, m_committing};
    m_engine->commit();
}

void Connection::rollback()
{
    requireOwner();
    if (!m_engine)
        throw DbError(QStringLiteral("No transaction is open: the connection is closed."));
    m_engine->rollback();
}

Engine& Connection::engine()
{
    connect();
    return *m_engine;
}

Transaction::Transaction(Connection& connection) : m_connection(connection)
{
    m_connection.beginTransaction();
}

Transaction::~Transaction()
{
    if (m_done || !m_connection.isConnected())
        return;
    try {
        m_connection.rollback();
    } catch (const DbError&) {
        // Already unwinding, or the session is gone: the work is undone either way.
    }
}

void Transaction::commit()
{
    m_connection.commit();
    m_done = true;
}

} // namespace db
