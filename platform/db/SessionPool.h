#pragma once

#include <QString>
#include <memory>

namespace db {

class Engine;

// Sessions kept for reuse after their connection is released, by connection
// string, the way a data-access layer pools them: opening a session costs a
// login on a server, so a released one waits idle a while and serves the
// next connection with the same string. A session is kept only when it can
// be made as a new one would be (see Engine::resetForReuse); one that waited
// too long is closed instead of handed out.
class SessionPool final
{
public:
    // An idle session for the string, or none.
    static std::unique_ptr<Engine> take(const QString& connectionString);
    // Keeps the session for the string's next connection, or closes it.
    static void give(const QString& connectionString, std::unique_ptr<Engine> engine);
    // Closes every idle session, for instance before a database is dropped.
    static void clear();
};

} // namespace db
