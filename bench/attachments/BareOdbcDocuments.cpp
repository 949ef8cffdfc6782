#include "BareOdbcDocuments.h"

#include <QFile>
#include <QSaveFile>
#include <cstdio>
#include <cstdlib>
#include <sqlext.h>
#include <string>

namespace {

constexpr SQLLEN Piece = 1024 * 1024;

SQLWCHAR* Wide(const std::u16string& text)
{
    return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text.data()));
}

} // namespace

BareOdbcDocuments::BareOdbcDocuments(const QString& odbcString)
{
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
    SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
    const std::u16string text = odbcString.toStdU16String();
    if (!SQL_SUCCEEDED(SQLDriverConnectW(m_dbc, nullptr, Wide(text),
                                         static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr,
                                         SQL_DRIVER_NOPROMPT)))
        fail(SQL_HANDLE_DBC, m_dbc);
    SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &m_stmt);
    // The program's session settings: whole images, standard errors.
    run(QStringLiteral("SET TEXTSIZE 2147483647;SET ANSI_WARNINGS ON"));
    SQLFreeStmt(m_stmt, SQL_CLOSE);
}

BareOdbcDocuments::~BareOdbcDocuments()
{
    SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
    SQLDisconnect(m_dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, m_env);
}

void BareOdbcDocuments::import(const QString& input)
{
    QFile file(input);
    if (!file.open(QIODevice::ReadOnly))
        std::exit(1);
    SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF),
                      0);
    SQLLEN atExecution = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(file.size()));
    SQLBindParameter(m_stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                     static_cast<SQLULEN>(file.size()), 0, reinterpret_cast<SQLPOINTER>(1), 0,
                     &atExecution);
    const std::u16string update = u"update fid_Main set doc=? where id=1;";
    SQLRETURN result = SQLExecDirectW(m_stmt, Wide(update), static_cast<SQLINTEGER>(update.size()));
    QByteArray piece(Piece, Qt::Uninitialized);
    SQLPOINTER token = nullptr;
    while (result == SQL_NEED_DATA && (result = SQLParamData(m_stmt, &token)) == SQL_NEED_DATA) {
        for (qint64 read = 0; (read = file.read(piece.data(), Piece)) > 0;)
            SQLPutData(m_stmt, piece.data(), static_cast<SQLLEN>(read));
    }
    if (!SQL_SUCCEEDED(result) && result != SQL_NO_DATA)
        fail(SQL_HANDLE_STMT, m_stmt);
    SQLFreeStmt(m_stmt, SQL_CLOSE);
    SQLFreeStmt(m_stmt, SQL_RESET_PARAMS);
    run(QStringLiteral("update fid_Main set docname='large.doc' where id=1;"));
    SQLFreeStmt(m_stmt, SQL_CLOSE);
    SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_COMMIT);
    SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                      0);
}

void BareOdbcDocuments::exportTo(const QString& output)
{
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly))
        std::exit(1);
    run(QStringLiteral("select doc from  fid_Main where id=1"));
    if (SQLFetch(m_stmt) != SQL_SUCCESS)
        fail(SQL_HANDLE_STMT, m_stmt);
    QByteArray piece(Piece, Qt::Uninitialized);
    SQLLEN indicator = 0;
    SQLRETURN result = SQL_SUCCESS_WITH_INFO;
    while (result == SQL_SUCCESS_WITH_INFO) {
        result = SQLGetData(m_stmt, 1, SQL_C_BINARY, piece.data(), Piece, &indicator);
        if (!SQL_SUCCEEDED(result))
            break;
        // A piece short of the whole says SQL_NO_TOTAL or the bytes still to come.
        const SQLLEN size =
            indicator == SQL_NO_TOTAL || indicator > Piece ? Piece : std::max<SQLLEN>(indicator, 0);
        file.write(piece.constData(), size);
    }
    if (result != SQL_SUCCESS && result != SQL_NO_DATA)
        fail(SQL_HANDLE_STMT, m_stmt);
    SQLFreeStmt(m_stmt, SQL_CLOSE);
    file.commit();
}

void BareOdbcDocuments::run(const QString& statement)
{
    const std::u16string text = statement.toStdU16String();
    const SQLRETURN result =
        SQLExecDirectW(m_stmt, Wide(text), static_cast<SQLINTEGER>(text.size()));
    if (!SQL_SUCCEEDED(result) && result != SQL_NO_DATA)
        fail(SQL_HANDLE_STMT, m_stmt);
}

void BareOdbcDocuments::fail(SQLSMALLINT type, SQLHANDLE handle) const
{
    SQLWCHAR state[6] = {};
    SQLWCHAR message[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRecW(type, handle, 1, state, &native, message, 1024, &length);
    std::printf("  reference: %s\n",
                qPrintable(QString::fromUtf16(reinterpret_cast<const char16_t*>(message), length)));
    std::exit(1);
}
