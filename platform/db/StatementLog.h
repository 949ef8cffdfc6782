#pragma once

#include <QString>
#include <functional>

namespace db {

// Sees every statement text exactly as the caller gave it, before an engine
// adapts it. Tests use it to check the texts the program sends.
using StatementObserver = std::function<void(const QString& text)>;
void setStatementObserver(StatementObserver observer); // empty function to stop
void notifyStatement(const QString& text);

} // namespace db
