#pragma once

#include <QString>
#include <stdexcept>

namespace db {

// The one error type of the data-access layer. It carries the engine's own
// message (server unreachable, login refused, statement rejected, file
// unreadable) so that the operator sees the reason.
class DbError final : public std::runtime_error
{
public:
    explicit DbError(const QString& message);

    QString message() const;
};

} // namespace db
