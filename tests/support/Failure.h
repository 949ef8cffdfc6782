#pragma once

#include "platform/db/DbError.h"

#include <QString>

// The message of the db::DbError that call throws, empty when it throws none.
template <typename Call> QString failure(Call call)
{
    try {
        call();
    } catch (const db::DbError& error) {
        // A failure must never read as success, even without a message.
        return error.message().isEmpty() ? QStringLiteral("(empty message)") : error.message();
    }
    return QString();
}
