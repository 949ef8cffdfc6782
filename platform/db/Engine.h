#pragma once

#include "ChangeStamp.h"
#include "Progress.h"
#include "ResultRows.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

class QIODevice;

namespace db {

// The value of the ":file" parameter, when one was given.
using FileParameter = std::optional<QByteArray>;

// One open database session of one engine. Statement texts arrive as the
// caller wrote them; each engine runs them with SQL Server's meaning. Every
// failure throws DbError with the engine's message.
class Engine
{
public:
    virtual ~Engine() = default; // closes the session; an open transaction is rolled back

    virtual void beginTransaction() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;

    // Runs a text of one or more statements and keeps the rows of the first
    // statement that returns rows; DbError when none does. The rows read are
    // told to the progress, which may stop the read (Cancelled).
    virtual ResultRows select(const QString& text, const FileParameter& file,
                              const Progress& progress) = 0;
    // Runs a text of one or more statements, all or nothing; returns the
    // number of rows its statements changed, together.
    virtual int execute(const QString& text, const FileParameter& file) = 0;
    // The number of rows the text returns, walked forward and never kept;
    // the rows walked are told to the progress, as for select().
    virtual int countRows(const QString& text, const FileParameter& file,
                          const Progress& progress) = 0;

    // Blobs that travel in pieces, so that a file of any size is never held
    // whole. executeWithFile() runs one statement whose ":file" is the content
    // of the opened device (a file, or bytes held), all or nothing, and returns the rows it
    // changed; readBlob() runs a statement whose first column is a blob and
    // hands the first row's value to the sink, and says false when there is
    // no row (a NULL hands nothing). Both report the bytes to the progress and
    // throw Cancelled when it says stop.
    virtual int executeWithFile(const QString& text, QIODevice& file, const Progress& progress) = 0;
    virtual bool readBlob(const QString& text, const BlobSink& sink, const Progress& progress) = 0;

    // Called from another thread while a call of this engine runs there:
    // the call ends soon with a DbError. Harmless between calls.
    virtual void interrupt() = 0;
    // Called from another thread like interrupt(): what the call that runs
    // there has moved over the network (see Gauge). Nothing by default: an
    // engine without a network reports its progress from the call itself.
    virtual std::optional<InFlight> inFlight() { return std::nullopt; }

    // Changes whenever what the session reads may have changed since it last
    // said so: a write by anyone, this session included. Nothing where the
    // engine cannot tell, so that nothing read before may be taken as still true.
    virtual std::optional<ChangeStamp> changeStamp() { return std::nullopt; }

    // Writing single rows back for a grid. The statements are built by the
    // layer from names that come from an earlier result, with a "?" for
    // each value.
    virtual QString quoteName(const QString& name) const = 0;
    // An INSERT of the columns (none: the defaults only) that returns the new
    // row's key, which the database assigns.
    virtual QString insertStatement(const QString& table, const QStringList& columns,
                                    const QString& keyColumn) const = 0;
    virtual QVariant insertRow(const QString& statement, const QList<QVariant>& values) = 0;
    // An UPDATE or DELETE; returns the number of rows it changed.
    virtual int writeRow(const QString& statement, const QList<QVariant>& values) = 0;
    // A condition, with one "?" for the value, that holds only when the
    // quoted text column holds exactly that value: a change of case or of
    // character width by someone else counts, which the database's own
    // comparison of texts ignores.
    virtual QString sameTextCondition(const QString& quotedName) const = 0;

    // Pooling (see SessionPool). resetForReuse() makes a released session as
    // a new one would be, or says it cannot be kept; reused() tells the
    // session that it serves a new connection and may have died while idle,
    // or says it can serve no more.
    virtual bool resetForReuse() { return false; }
    virtual bool reused() { return true; }

protected:
    // "INSERT INTO <table> (<columns>) VALUES (?,...)" with the names quoted,
    // or "INSERT INTO <table> DEFAULT VALUES" for no columns: the part of
    // insertStatement() that every engine writes alike.
    QString insertInto(const QString& table, const QStringList& columns) const;
};

} // namespace db
