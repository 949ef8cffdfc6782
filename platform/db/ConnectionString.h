#pragma once

#include <QString>

namespace db {

// The parts of an ADO-style connection string ("Key=Value;Key=Value").
// Keys are matched without regard to case; values are taken verbatim.
struct ConnectionStringParts
{
    QString provider;
    QString initialCatalog; // database
    QString dataSource;     // host, "host,port" or "host\instance"
    QString userId;
    QString password;
};

ConnectionStringParts parseConnectionString(const QString& connectionString);

// "(localdb)" in any letter case selects the embedded engine.
bool isEmbeddedDataSource(const QString& dataSource);

// The ODBC connection string for the FreeTDS driver that reaches the same
// server: host, port (1433 unless given) or named instance, database, login.
QString odbcConnectionString(const ConnectionStringParts& parts);

} // namespace db
