// The connection string read and turned into the ODBC string.

#include "platform/db/ConnectionString.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const db::ConnectionStringParts parts = db::parseConnectionString(text);
    db::isEmbeddedDataSource(parts.dataSource);
    db::odbcConnectionString(parts);
    return 0;
}
