// The T-SQL translation for the embedded engine and the statement scanner
// over any text.

#include "platform/db/SqlScan.h"
#include "platform/db/SqliteDialect.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    db::sqlite::translateBatch(text, {QStringLiteral("f_1"), QStringLiteral("name")});
    db::sqlscan::statementCount(text);
    db::sqlscan::firstFromTable(text);
    db::sqlscan::parameterPositions(text, QStringLiteral("file"));
    db::sqlscan::containsParameter(text, QStringLiteral("file"));
    return 0;
}
