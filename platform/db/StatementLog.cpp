#include "StatementLog.h"

namespace db {

namespace {
StatementObserver& currentObserver()
{
    static StatementObserver instance;
    return instance;
}
} // namespace

void setStatementObserver(StatementObserver observer)
{
    currentObserver() = std::move(observer);
}

void notifyStatement(const QString& text)
{
    if (currentObserver())
        currentObserver()(text);
}

} // namespace db
