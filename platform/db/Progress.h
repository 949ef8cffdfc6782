#pragma once

#include <QtGlobal>
#include <functional>
#include <optional>
#include <stdexcept>

namespace db {

// Told how far a long step got, in bytes or rows of the total (-1 when the
// total is not known); returns false when the step is to stop.
using Progress = std::function<bool(qint64 done, qint64 total)>;

// A long step's work, handed the progress it reports to.
using Work = std::function<void(const Progress& progress)>;
// Called from another thread to end a work that waits inside one call of
// its database (a sort, the server's first row, a big value): the call fails
// soon after, and the work with it. Says false when it left the work alone,
// because the work's commit is on its way: the work then ends with its true
// outcome.
using Interrupt = std::function<bool()>;
// What the one call a work waits in has moved over the network so far: the
// bytes that reached the other side (sent and acknowledged, or received) of
// the total (-1 when not known). done is -1 while the call waits and its
// bytes cannot be counted: then only the time waited is known.
struct InFlight
{
    qint64 done = -1;
    qint64 total = -1;
};
// Read from another thread while a work runs: what the call it waits in has
// moved, or nothing when it waits in no such call. The work's own reports
// count what passed through its hands, which the network may still carry.
using Gauge = std::function<std::optional<InFlight>()>;
// Runs a work, perhaps on a thread of its own while the caller's windows go
// on painting; the work's error comes back from it. A runner that stops the
// work may interrupt it as well; the work then ends as Cancelled when the
// interrupt reached it. A runner that shows progress may read the gauge.
using Runner =
    std::function<void(const Work& work, const Interrupt& interrupt, const Gauge& gauge)>;

// Thrown when the progress stopped a step. What the step had done is
// undone: its unit of work is rolled back, a file it wrote is dropped.
class Cancelled final : public std::runtime_error
{
public:
    Cancelled() : std::runtime_error("The step was cancelled.") {}
};

// Tells the progress, when there is one, and throws Cancelled when it says stop.
inline void reportProgress(const Progress& progress, qint64 done, qint64 total)
{
    if (progress && !progress(done, total))
        throw Cancelled();
}

// Rows read between two reports of a long read.
constexpr qint64 ProgressRows = 1000;

// Tells the progress of the rows read so far, once every ProgressRows rows.
inline void reportRows(const Progress& progress, qint64 rows)
{
    if (rows % ProgressRows == 0)
        reportProgress(progress, rows, -1);
}

// The size of the pieces a blob travels in between a file and a database.
constexpr qint64 BlobPieceBytes = 1024 * 1024;

// Takes the bytes of a blob read a piece at a time.
using BlobSink = std::function<void(const char* bytes, qint64 size)>;

} // namespace db
