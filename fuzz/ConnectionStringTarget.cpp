// The connection string read and turned into the ODBC string; values quoted
// into the program's string read back as they were, and add no key.

#include "platform/db/ConnectionString.h"

#include <QStringList>
#include <cstdint>
#include <cstdlib>

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
    db::serverAddress(parts.dataSource);
    db::odbcConnectionString(parts);

    // The input as the four values an operator types, split at NUL.
    QStringList values = text.split(QChar(u'\0'));
    while (values.size() < 4)
        values.append(QString());
    const QString built =
        QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=") + db::quotedValue(values[0]) +
        QStringLiteral(";Data Source=") + db::quotedValue(values[1]) +
        QStringLiteral(";Password=") + db::quotedValue(values[2]) +
        QStringLiteral(";Persist Security Info=True;User ID=") + db::quotedValue(values[3]);
    const db::ConnectionStringParts read = db::parseConnectionString(built);
    if (read.initialCatalog != values[0] || read.dataSource != values[1] ||
        read.password != values[2] || read.userId != values[3] ||
        read.provider != QLatin1String("SQLOLEDB.1"))
        std::abort();
    return 0;
}
