#pragma once

#include <QString>

// What an operator reads when the database, the server or a file refuses a
// step: a Chinese sentence that says what failed and what to do, then the
// engine's own text for the administrator.
namespace EngineMessage {

enum class Failure
{
    DatabaseFileMissing, // the embedded database's file is gone
    DatabaseLocked,      // another program holds the database
    NotADatabase,        // the file is damaged or no database at all
    ReadOnly,            // the database cannot be written
    DiskFull,
    CannotOpenDatabase,  // the embedded database's file cannot be opened
    ServerGone,          // the server cannot be reached, or the link broke
    ServerNotEncrypting, // the server would run the session in clear; nothing was sent
    ServerNotTrusted,    // its certificate does not chain to the trusted ones
    LoginRefused,
    ValueTooLong,   // a text longer than its column
    NotANumber,     // a text where a number is needed
    FileUnreadable, // a file the operator chose
    FileUnwritable,
    RowChanged, // the row was changed or removed elsewhere since it was read; nothing written
    Other
};

struct Classification
{
    Failure failure = Failure::Other;
    QString subject; // the file or the table the text names, when it names one
};

// The kind of failure an engine's text reports, SQLite's, SQL Server's
// through FreeTDS ("[FreeTDS][SQL Server]...") or the data layer's own.
Classification classify(const QString& engineText);

// The Chinese sentence for a failure.
QString lead(const Classification& classification);

// The lead, an empty line and "详细信息: " with the engine's text.
QString forOperator(const QString& engineText);

} // namespace EngineMessage
