#include "DbError.h"

namespace db {

DbError::DbError(const QString& message) : std::runtime_error(message.toStdString()) {}

QString DbError::message() const
{
    return QString::fromStdString(what());
}

} // namespace db
