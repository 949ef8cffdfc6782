#pragma once

#include <QtGlobal>

namespace db {

// One state of what a session reads, told apart from every other (see
// Engine::changeStamp()).
struct ChangeStamp
{
    quint64 session = 0;   // unique in the process
    qint64 version = 0;    // changes by other sessions
    qint64 ownChanges = 0; // changes by this one
    bool operator==(const ChangeStamp& other) const
    {
        return session == other.session && version == other.version &&
               ownChanges == other.ownChanges;
    }
};

} // namespace db
