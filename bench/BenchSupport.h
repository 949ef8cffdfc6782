#pragma once

// What the benchmarks share: figures of the process's memory, paired timing
// of the program beside its reference, a SQLite connection opened as the
// program's engine opens its own, and the rows of a statement copied out
// through the SQLite C API into one buffer, as a careful client keeps a page.

#include "platform/db/SqliteCollation.h"
#include "platform/db/SqliteFunctions.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// A figure of /proc/self/status in kB, such as "VmHWM:" (the peak resident
// memory so far) or "VmRSS:" (the present one); -1 when it cannot be read.
inline long statusKb(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// A file of the size filled with the same random bytes on every run, a
// document that does not compress.
inline void writeRandomFile(const QString& path, qint64 size)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray chunk(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(11);
    for (qint64 written = 0; written < size; written += chunk.size()) {
        random.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
        file.write(chunk.constData(), std::min<qint64>(chunk.size(), size - written));
    }
}

inline long peakMemoryKb()
{
    return statusKb("VmHWM:");
}

// Starts the peak over from the memory in use now (Linux 4.0 and later).
inline void resetPeakMemory()
{
    if (std::FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The medians of the ratios of the earlier and of the later half of the
// pairs, in the order they ran: two measurements of the same case at
// different moments, which agree when the machine's load did not change the
// figure. Each half holds as many pairs of either order as the other.
struct Halves
{
    double earlier = 0;
    double later = 0;
};

inline Halves halvesOf(const std::vector<double>& ratios)
{
    const auto middle = ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 4 * 2);
    if (middle == ratios.begin())
        return {median(ratios), median(ratios)};
    return {median(std::vector<double>(ratios.begin(), middle)),
            median(std::vector<double>(middle, ratios.end()))};
}

// Times of program and reference run side by side, and the ratios of the
// pairs (program / reference); steady when the median of the ratios is known
// to within 0.05 either way and the two halves of the pairs agree on it
// within 0.1.
struct Paired
{
    std::vector<double> programMs;
    std::vector<double> referenceMs;
    std::vector<double> ratios;
    bool steady = true;

    double minRatio() const { return *std::min_element(ratios.begin(), ratios.end()); }
    double medianRatio() const { return median(ratios); }
    Halves halves() const { return halvesOf(ratios); }
};

// The width of a distribution-free 95 % interval of the median of the
// ratios: between the order statistics n/2 - 0.98 sqrt(n) and its mirror.
inline double medianSpread(std::vector<double> ratios)
{
    std::sort(ratios.begin(), ratios.end());
    const double n = static_cast<double>(ratios.size());
    const auto low =
        static_cast<std::size_t>(std::max(0.0, std::floor(n / 2 - 0.98 * std::sqrt(n))));
    return ratios[ratios.size() - 1 - low] - ratios[low];
}

// Whether the pairs' median is steady: its distribution-free 95 % interval
// no wider than 0.1, and the medians of the two halves of the pairs no
// further apart than 0.1. The interval alone passes a run whose load changed
// halfway (a figure that another run a minute later does not repeat).
inline bool steadyMedian(const std::vector<double>& ratios)
{
    const double steadySpread = 0.1;
    const Halves halves = halvesOf(ratios);
    return medianSpread(ratios) <= steadySpread &&
           std::abs(halves.earlier - halves.later) <= steadySpread;
}

// How many pairs a case runs: at least floor; then on until the median of
// the ratios is steady, or cap pairs or budgetMs of the case's time are
// spent, whichever comes first. A fixed count has floor == cap.
struct Pairs
{
    int floor = 15;
    int cap = 400;
    double budgetMs = 20000;
};

// Runs program and reference in pairs after warm-up runs of both; which side
// goes first alternates, so that neither always inherits the caches the
// other leaves. A pair shares the machine's load of its moment, which other
// processes make uneven, so only the ratios of pairs are compared. between
// runs after every run, outside the times.
inline Paired runPaired(const Pairs& pairs, const std::function<void()>& program,
                        const std::function<void()>& reference,
                        const std::function<void()>& between = {}, int warmups = 2)
{
    const auto time = [&between](const std::function<void()>& run) {
        QElapsedTimer timer;
        timer.start();
        run();
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (between)
            between();
        return ms;
    };
    QElapsedTimer spent;
    spent.start();
    for (int i = 0; i < warmups; ++i) {
        time(program);
        time(reference);
    }
    Paired paired;
    for (int i = 0; i < pairs.cap; ++i) {
        // Pairs are added two at a time, one of either order, so that each
        // half holds as many of both.
        if (i >= pairs.floor && i % 2 == 0 &&
            (steadyMedian(paired.ratios) || static_cast<double>(spent.elapsed()) >= pairs.budgetMs))
            break;
        double p = 0;
        double r = 0;
        if (i % 2 == 0) {
            p = time(program);
            r = time(reference);
        } else {
            r = time(reference);
            p = time(program);
        }
        paired.programMs.push_back(p);
        paired.referenceMs.push_back(r);
        paired.ratios.push_back(p / r);
    }
    paired.steady = steadyMedian(paired.ratios);
    return paired;
}

inline Paired runPaired(int pairs, const std::function<void()>& program,
                        const std::function<void()>& reference,
                        const std::function<void()>& between = {}, int warmups = 2)
{
    return runPaired(Pairs{pairs, pairs, 0}, program, reference, between, warmups);
}

// One line: the case, the pairs it ran, the median times of both sides, the
// minimum and median of the paired ratios and the medians of the two halves,
// with the target when there is one; "unsteady" when the cap or the budget
// came before a steady median.
inline void printPaired(const char* name, const Paired& paired, const char* target = "")
{
    const Halves halves = paired.halves();
    std::printf("%-50s pairs %3zu  program %10.3f ms  reference %10.3f ms  ratio min %5.2f "
                "median %5.2f (halves %.2f %.2f)%s%s\n",
                name, paired.ratios.size(), median(paired.programMs), median(paired.referenceMs),
                paired.minRatio(), paired.medianRatio(), halves.earlier, halves.later,
                paired.steady ? "" : "  unsteady", target);
    std::fflush(stdout);
}

// A connection to the file opened exactly as Qt's SQLite driver opens it for
// the program's engine (read-write, private cache, no mutex, a busy timeout
// of 5 s, extended result codes) with the engine's own two functions and its
// collation (the program's code, registered as the engine registers it), so
// that both sides pay for the same locking and run the same SQL.
inline sqlite3* openLikeProgram(const QString& path)
{
    sqlite3* handle = nullptr;
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_PRIVATECACHE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.toUtf8().constData(), &handle, flags, nullptr) != SQLITE_OK)
        qFatal("cannot open %s", qPrintable(path));
    sqlite3_busy_timeout(handle, 5000);
    sqlite3_extended_result_codes(handle, 1);
    db::sqlite::addFunctions(handle);
    db::sqlite::addChineseCollation(handle);
    return handle;
}

// The rows of a page as a careful client keeps them: one buffer holding
// every value of every row one after the other (a tag byte, then an integer
// or a real in 8 bytes, or a text or blob as its length in 4 bytes and its
// bytes) and where each row starts; a value is read out where it lies.
class Page
{
public:
    enum class Tag : char
    {
        Null,
        Integer,
        Real,
        Bytes
    };
    struct Value
    {
        Tag tag = Tag::Null;
        qint64 integer = 0;
        double real = 0;
        std::string_view bytes;
    };

    std::vector<std::string> names;

    std::size_t size() const { return m_starts.size(); }

    // The column of that name, or -1.
    int column(std::string_view name) const
    {
        const auto found = std::find(names.begin(), names.end(), name);
        return found == names.end() ? -1 : static_cast<int>(found - names.begin());
    }

    void beginRow() { m_starts.push_back(static_cast<std::size_t>(m_bytes.size())); }
    void appendNull()
    {
        room(1);
        m_bytes.push_back(static_cast<char>(Tag::Null));
    }
    void appendInteger(qint64 value) { appendFixed(Tag::Integer, &value); }
    void appendReal(double value) { appendFixed(Tag::Real, &value); }
    void appendBytes(const char* bytes, std::size_t size)
    {
        const auto length = static_cast<quint32>(size);
        room(static_cast<qsizetype>(1 + sizeof length + size));
        m_bytes.push_back(static_cast<char>(Tag::Bytes));
        m_bytes.append(reinterpret_cast<const char*>(&length), sizeof length);
        m_bytes.append(bytes, static_cast<qsizetype>(size));
    }

    Value value(std::size_t row, int column) const
    {
        const char* at = m_bytes.constData() + m_starts[row];
        for (int i = 0;; ++i) {
            Value value;
            value.tag = static_cast<Tag>(*at++);
            std::size_t size = 0;
            switch (value.tag) {
            case Tag::Null:
                break;
            case Tag::Integer:
                std::memcpy(&value.integer, at, sizeof value.integer);
                size = sizeof value.integer;
                break;
            case Tag::Real:
                std::memcpy(&value.real, at, sizeof value.real);
                size = sizeof value.real;
                break;
            case Tag::Bytes: {
                quint32 length = 0;
                std::memcpy(&length, at, sizeof length);
                at += sizeof length;
                value.bytes = std::string_view(at, length);
                size = length;
                break;
            }
            }
            if (i == column)
                return value;
            at += size;
        }
    }

private:
    // The buffer doubles by realloc, which moves a large buffer's pages
    // instead of copying its bytes.
    void room(qsizetype size)
    {
        if (m_bytes.size() + size > m_bytes.capacity())
            m_bytes.reserve(
                std::max({2 * m_bytes.capacity(), m_bytes.size() + size, qsizetype(4096)}));
    }

    template <typename Number> void appendFixed(Tag tag, const Number* value)
    {
        room(static_cast<qsizetype>(1 + sizeof *value));
        m_bytes.push_back(static_cast<char>(tag));
        m_bytes.append(reinterpret_cast<const char*>(value), sizeof *value);
    }

    QByteArray m_bytes;
    std::vector<std::size_t> m_starts;
};

// Every value of every remaining row of the statement copied into a page;
// the statement is finalized.
inline Page takePage(sqlite3_stmt* statement)
{
    Page page;
    const int columns = sqlite3_column_count(statement);
    for (int i = 0; i < columns; ++i)
        page.names.emplace_back(sqlite3_column_name(statement, i));
    while (sqlite3_step(statement) == SQLITE_ROW) {
        page.beginRow();
        for (int i = 0; i < columns; ++i) {
            switch (sqlite3_column_type(statement, i)) {
            case SQLITE_INTEGER:
                page.appendInteger(sqlite3_column_int64(statement, i));
                break;
            case SQLITE_FLOAT:
                page.appendReal(sqlite3_column_double(statement, i));
                break;
            case SQLITE_NULL:
                page.appendNull();
                break;
            default: {
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, i));
                page.appendBytes(bytes ? bytes : "",
                                 static_cast<std::size_t>(sqlite3_column_bytes(statement, i)));
                break;
            }
            }
        }
    }
    sqlite3_finalize(statement);
    return page;
}

} // namespace bench
