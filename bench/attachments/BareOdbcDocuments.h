#pragma once

#include <QString>
#include <sql.h>

// A bare ODBC client that moves a document between a file and the first
// record of a server's fid_main a megabyte at a time, as the program does:
// data at execution and SQLPutData in, SQLGetData out. One kept session,
// set up as the program sets up its own.
class BareOdbcDocuments final
{
public:
    explicit BareOdbcDocuments(const QString& odbcString);
    ~BareOdbcDocuments();

    BareOdbcDocuments(const BareOdbcDocuments&) = delete;
    BareOdbcDocuments& operator=(const BareOdbcDocuments&) = delete;

    // The document and then its name, in one transaction.
    void import(const QString& input);
    // Written beside the target and renamed, as the program keeps an earlier
    // file whole that way.
    void exportTo(const QString& output);

private:
    void run(const QString& statement);
    [[noreturn]] void fail(SQLSMALLINT type, SQLHANDLE handle) const;

    SQLHENV m_env = SQL_NULL_HENV;
    SQLHDBC m_dbc = SQL_NULL_HDBC;
    SQLHSTMT m_stmt = SQL_NULL_HSTMT;
};
