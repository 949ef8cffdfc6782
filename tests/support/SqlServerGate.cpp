// Linked into every test that also runs on SQL Server. Before the test's
// main(): a SQL Server run without a server to run on ends at once with exit
// code 77, which CTest reports as a skipped test; the ODBC driver is pointed
// at the engine's own settings while the test has one thread, as the
// program does at its start.

#include "platform/db/OdbcClientFiles.h"
#include "support/TestDatabase.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

namespace {

[[maybe_unused]] const bool Gate = [] {
    if (TestDatabase::onSqlServer() && qEnvironmentVariableIsEmpty("VARDENIX_MSSQL")) {
        std::fputs("SKIP: VARDENIX_MSSQL is not set, so there is no SQL Server to run on.\n",
                   stderr);
        std::exit(77);
    }
    if (TestDatabase::onSqlServer())
        db::odbc::useClientFiles();
    return true;
}();

} // namespace
