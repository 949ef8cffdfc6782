#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Query.h"

// A connection made for one operation, with one query on it. Both are
// released when it goes out of scope, on every path. Open connects at once;
// Prepare leaves the connecting to the step that needs it.
class FreshConnection final
{
public:
    enum class Mode
    {
        Open,
        Prepare
    };

    explicit FreshConnection(const QString& connectionString, Mode mode = Mode::Open);

    FreshConnection(const FreshConnection&) = delete;
    FreshConnection& operator=(const FreshConnection&) = delete;

    void connect();
    db::Connection& connection() { return m_connection; }
    db::Query& query() { return m_query; }

private:
    db::Connection m_connection;
    db::Query m_query;
};
