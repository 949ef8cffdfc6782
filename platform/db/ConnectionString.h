#pragma once

#include <QString>

namespace db {

// The parts of an ADO-style connection string ("Key=Value;Key=Value").
// Keys are matched without regard to case and surrounding blanks; values are
// taken verbatim, each running up to the next ";" (the program's strings never
// quote a value). "Server", "Database", "UID" and "PWD" are accepted as well,
// as SQL Server users write them.
struct ConnectionStringParts
{
    QString provider;
    QString initialCatalog; // database
    QString dataSource;     // host, "host,port" or "host\instance"
    QString userId;
    QString password;
};

ConnectionStringParts parseConnectionString(const QString& connectionString);

// "(localdb)" in any letter case, blanks around it ignored, selects the
// embedded engine.
bool isEmbeddedDataSource(const QString& dataSource);

// The ODBC connection string for the FreeTDS driver that reaches the same
// server: host with port (1433 unless given) or named instance (never both),
// database, login, UTF-8 as the client character set and TDS 7.4. Values that
// could change the string's meaning are put in braces.
QString odbcConnectionString(const ConnectionStringParts& parts);

} // namespace db
