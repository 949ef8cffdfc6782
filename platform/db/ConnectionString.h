#pragma once

#include <QString>

namespace db {

// The parts of an ADO-style connection string ("Key=Value;Key=Value").
// Keys are matched without regard to case and surrounding blanks; values are
// taken verbatim, each running up to the next ";", unless it starts with a
// double or single quote: then it runs to the matching quote, a doubled quote
// standing for one. "Server", "Database", "UID" and "PWD" are accepted as well,
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

// A value as it goes into a connection string: as it is, unless it holds a
// ";" or starts with a quote; then in double quotes, its own doubled, so that
// no value can end early or add a key.
QString quotedValue(const QString& value);

// Where a "Data Source" points: the host (SQL Server's "." and "(local)" as
// localhost), and either a port (1433 unless given) or a named instance whose
// port the server's browser service tells.
struct ServerAddress
{
    QString host;
    int port = 0; // 0 with an instance
    QString instance;
};

ServerAddress serverAddress(const QString& dataSource);

// "(localdb)" in any letter case, blanks around it ignored, selects the
// embedded engine.
bool isEmbeddedDataSource(const QString& dataSource);

// The ODBC connection string for the FreeTDS driver that reaches the same
// server: host with port (1433 unless given) or named instance (never both),
// database, login, UTF-8 as the client character set, TDS 7.4 and the whole
// session encrypted. Values that could change the string's meaning are put in
// braces. The engine itself does not pass the login this way (FreeTDS cannot
// read every password from it); bare clients of the benchmarks do.
QString odbcConnectionString(const ConnectionStringParts& parts);

} // namespace db
