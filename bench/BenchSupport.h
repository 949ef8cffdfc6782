#pragma once

// What the benchmarks share: figures of the process's memory, medians, and
// the rows of a statement copied out through the SQLite C API, as a client
// keeps a page.

#include <QFile>
#include <QtGlobal>
#include <algorithm>
#include <sqlite3.h>
#include <string>
#include <variant>
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

inline long peakMemoryKb()
{
    return statusKb("VmHWM:");
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

using Value = std::variant<std::monostate, qint64, double, std::string>;
using Rows = std::vector<std::vector<Value>>;

// Every value of every remaining row of the statement copied out; the
// statement is finalized.
inline Rows takeRows(sqlite3_stmt* statement)
{
    const int columns = sqlite3_column_count(statement);
    Rows rows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        std::vector<Value> row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i) {
            switch (sqlite3_column_type(statement, i)) {
            case SQLITE_INTEGER:
                row.emplace_back(static_cast<qint64>(sqlite3_column_int64(statement, i)));
                break;
            case SQLITE_FLOAT:
                row.emplace_back(sqlite3_column_double(statement, i));
                break;
            case SQLITE_NULL:
                row.emplace_back(std::monostate());
                break;
            default: {
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, i));
                row.emplace_back(std::string(
                    bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(statement, i))));
                break;
            }
            }
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(statement);
    return rows;
}

} // namespace bench
