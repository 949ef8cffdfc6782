#pragma once

#include "ConnectionString.h"

#include <QString>
#include <shared_mutex>

namespace db::odbc {

// How the FreeTDS driver is told to reach a server. Its connection strings
// cannot carry every password (a value in braces ends at the first "};") nor
// a file of trusted certificates, so the engine names a data source of its
// own instead: a section in a private odbc.ini (driver, database, TDS
// version) that points at a section in a private freetds.conf (address,
// encryption, trusted certificates), and passes login and password apart
// with SQLConnect. The files live in the process's memory, named by ODBCINI
// and FREETDSCONF.
struct ServerTarget
{
    ServerAddress address;
    QString database;
    // The PEM file whose certificates the server's must chain to; empty: the
    // session is encrypted but the server's certificate is not checked.
    QString trustedCertificates;
};

// The name of the data source that reaches the target, added to the files
// when it is new. DbError when a value cannot be written into them.
QString dataSourceName(const ServerTarget& target);

// Points the driver manager and the driver at the private files. Called once,
// early and on one thread, since it sets environment variables; the first
// dataSourceName() calls it too.
void useClientFiles();

// Held across a login, which reads the files, so that no new data source is
// written meanwhile.
std::shared_lock<std::shared_mutex> readingClientFiles();

} // namespace db::odbc
