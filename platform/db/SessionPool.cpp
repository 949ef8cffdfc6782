#include "SessionPool.h"

#include "Engine.h"

#include <QCoreApplication>
#include <chrono>
#include <map>
#include <mutex>
#include <vector>

namespace db {

namespace {

using Clock = std::chrono::steady_clock;

// As long as a server is left a session it no longer needs, and as many
// as one program has open at once.
constexpr auto IdleLimit = std::chrono::seconds(60);
constexpr std::size_t IdlePerString = 4;

struct Idle
{
    std::unique_ptr<Engine> engine;
    Clock::time_point since;
};

struct Pool
{
    std::mutex mutex;
    std::map<QString, std::vector<Idle>> idle;

    // Takes out the sessions that waited too long, to be closed outside the lock.
    void expire(std::vector<Idle>& expired)
    {
        const Clock::time_point now = Clock::now();
        for (auto it = idle.begin(); it != idle.end();) {
            std::vector<Idle>& sessions = it->second;
            for (auto session = sessions.begin(); session != sessions.end();) {
                if (now - session->since > IdleLimit) {
                    expired.push_back(std::move(*session));
                    session = sessions.erase(session);
                } else {
                    ++session;
                }
            }
            it = sessions.empty() ? idle.erase(it) : std::next(it);
        }
    }
};

Pool& pool()
{
    static Pool instance;
    return instance;
}

} // namespace

std::unique_ptr<Engine> SessionPool::take(const QString& connectionString)
{
    std::vector<Idle> expired;
    for (;;) {
        std::unique_ptr<Engine> engine;
        {
            Pool& p = pool();
            const std::lock_guard lock(p.mutex);
            p.expire(expired);
            auto found = p.idle.find(connectionString);
            if (found == p.idle.end() || found->second.empty())
                return nullptr;
            engine = std::move(found->second.back().engine);
            found->second.pop_back();
        }
        if (engine->reused())
            return engine;
    }
}

void SessionPool::give(const QString& connectionString, std::unique_ptr<Engine> engine)
{
    // Sessions may hold Qt's database connections, which must close before
    // the application object goes: no pooling without one.
    if (!engine || !QCoreApplication::instance() || !engine->resetForReuse())
        return;
    static const bool clearedWithTheApplication = [] {
        qAddPostRoutine(SessionPool::clear);
        return true;
    }();
    Q_UNUSED(clearedWithTheApplication);
    std::vector<Idle> expired;
    {
        Pool& p = pool();
        const std::lock_guard lock(p.mutex);
        p.expire(expired);
        std::vector<Idle>& sessions = p.idle[connectionString];
        if (sessions.size() >= IdlePerString) {
            expired.push_back(std::move(sessions.front()));
            sessions.erase(sessions.begin());
        }
        sessions.push_back(Idle{std::move(engine), Clock::now()});
    }
}

void SessionPool::clear()
{
    std::map<QString, std::vector<Idle>> closing;
    {
        Pool& p = pool();
        const std::lock_guard lock(p.mutex);
        closing.swap(p.idle);
    }
}

} // namespace db
