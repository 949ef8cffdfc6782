#include "OdbcStatement.h"

#include "Binding.h"
#include "DbError.h"
#include "ParameterFile.h"

#include <algorithm>
#include <sqlext.h>

namespace db::odbc {

namespace {

bool succeeded(SQLRETURN result)
{
    return result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO;
}

// Reads values in pieces of this size; the driver fills a piece at a time.
constexpr SQLLEN PieceBytes = 64 * 1024;

} // namespace

Diagnostics diagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    Diagnostics result;
    QStringList messages;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER nativeError = 0;
        QString message(512, Qt::Uninitialized);
        SQLSMALLINT length = 0;
        SQLRETURN r = SQLGetDiagRecW(handleType, handle, record, state, &nativeError, wide(message),
                                     SQLSMALLINT(message.size() + 1), &length);
        if (r == SQL_SUCCESS_WITH_INFO && length > message.size()) {
            message.resize(length);
            r = SQLGetDiagRecW(handleType, handle, record, state, &nativeError, wide(message),
                               SQLSMALLINT(message.size() + 1), &length);
        }
        if (!succeeded(r))
            break;
        message.truncate(qMin<qsizetype>(length, message.size()));
        if (!message.trimmed().isEmpty() && !messages.contains(message.trimmed()))
            messages.append(message.trimmed());
        // Class 08 is the connection's: the session with the server is gone.
        if (state[0] == u'0' && state[1] == u'8')
            result.linkLost = true;
    }
    result.text = messages.join(u' ');
    return result;
}

SQLHENV environment()
{
    static const SQLHENV handle = [] {
        SQLHENV env = SQL_NULL_HENV;
        if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
            throw DbError(QStringLiteral("The ODBC driver manager (unixODBC) cannot be used."));
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        return env;
    }();
    return handle;
}

Statement::Statement(Session& session) : m_session(session)
{
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, session.handle, &m_handle))) {
        const Diagnostics failure = diagnostics(SQL_HANDLE_DBC, session.handle);
        session.lost = session.lost || failure.linkLost;
        throw DbError(failure.text.isEmpty()
                          ? QStringLiteral("The driver could not make a statement.")
                          : failure.text);
    }
}

Statement::~Statement()
{
    SQLFreeHandle(SQL_HANDLE_STMT, m_handle);
}

void Statement::cancelFromElsewhere()
{
    SQLCancel(m_handle);
}

void Statement::fail()
{
    const Diagnostics failure = diagnostics(SQL_HANDLE_STMT, m_handle);
    SQLULEN dead = SQL_CD_FALSE;
    SQLGetConnectAttr(m_session.handle, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    if (failure.linkLost || dead == SQL_CD_TRUE)
        m_session.lost = true;
    throw DbError(failure.text.isEmpty() ? QStringLiteral("The driver reported a failure "
                                                          "without a message.")
                                         : failure.text);
}

void Statement::check(SQLRETURN result)
{
    if (!succeeded(result))
        fail();
}

void Statement::bind(const QVariant& value)
{
    Bound& bound = m_bound.emplace_back();
    SQLSMALLINT valueType = SQL_C_CHAR;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN size = 1;
    SQLPOINTER data = &bound.integer;
    SQLLEN capacity = 0;
    switch (bindingOf(value)) {
    case Binding::Null:
        bound.length = SQL_NULL_DATA;
        break;
    case Binding::Integer:
        bound.integer = value.toLongLong();
        valueType = SQL_C_SBIGINT;
        sqlType = SQL_BIGINT;
        size = 19;
        bound.length = sizeof bound.integer;
        break;
    case Binding::Real:
        bound.real = value.toDouble();
        valueType = SQL_C_DOUBLE;
        sqlType = SQL_DOUBLE;
        size = 15;
        data = &bound.real;
        bound.length = sizeof bound.real;
        break;
    case Binding::Blob:
        bound.bytes = value.toByteArray();
        valueType = SQL_C_BINARY;
        sqlType = bound.bytes.size() > 8000 ? SQL_LONGVARBINARY : SQL_VARBINARY;
        size = SQLULEN(qMax<qsizetype>(1, bound.bytes.size()));
        data = const_cast<char*>(bound.bytes.constData());
        capacity = bound.length = SQLLEN(bound.bytes.size());
        break;
    case Binding::Text:
        bound.text = value.toString();
        valueType = SQL_C_WCHAR;
        sqlType = bound.text.size() > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
        size = SQLULEN(qMax<qsizetype>(1, bound.text.size()));
        data = wide(bound.text);
        capacity = bound.length = SQLLEN(bound.text.size() * sizeof(SQLWCHAR));
        break;
    }
    check(SQLBindParameter(m_handle, SQLUSMALLINT(m_bound.size()), SQL_PARAM_INPUT, valueType,
                           sqlType, size, 0, data, capacity, &bound.length));
}

void Statement::execute(const QString& text)
{
    const SQLRETURN result = SQLExecDirectW(m_handle, wide(text), SQLINTEGER(text.size()));
    // No data: the statement ran and touched no row.
    if (result != SQL_NO_DATA)
        check(result);
}

void Statement::bindAtExecution(qint64 size)
{
    Bound& bound = m_bound.emplace_back();
    bound.length = SQL_LEN_DATA_AT_EXEC(SQLLEN(size));
    check(SQLBindParameter(m_handle, SQLUSMALLINT(m_bound.size()), SQL_PARAM_INPUT, SQL_C_BINARY,
                           SQL_LONGVARBINARY, SQLULEN(std::max<qint64>(1, size)), 0, &bound, 0,
                           &bound.length));
}

void Statement::executeFeeding(const QString& text, QIODevice& source, qint64 size,
                               const Progress& progress)
{
    SQLRETURN result = SQLExecDirectW(m_handle, wide(text), SQLINTEGER(text.size()));
    try {
        QByteArray piece(BlobPieceBytes, Qt::Uninitialized);
        while (result == SQL_NEED_DATA) {
            SQLPOINTER token = nullptr;
            result = SQLParamData(m_handle, &token);
            if (result != SQL_NEED_DATA)
                break;
            reportProgress(progress, 0, size);
            qint64 done = 0;
            while (done < size) {
                const qint64 read =
                    source.read(piece.data(), std::min(BlobPieceBytes, size - done));
                if (read <= 0)
                    throw unreadableFile(source);
                check(SQLPutData(m_handle, piece.data(), SQLLEN(read)));
                done += read;
                reportProgress(progress, done, size);
            }
            // An empty value is still one piece.
            if (size == 0)
                check(SQLPutData(m_handle, piece.data(), 0));
        }
    } catch (...) {
        // The request is withdrawn before its last piece, so the server runs nothing.
        SQLCancel(m_handle);
        throw;
    }
    if (result != SQL_NO_DATA)
        check(result);
}

bool Statement::fetch()
{
    const SQLRETURN result = SQLFetch(m_handle);
    if (result == SQL_NO_DATA)
        return false;
    check(result);
    return true;
}

bool Statement::readBytesTo(SQLUSMALLINT column, const BlobSink& sink, const Progress& progress)
{
    QByteArray piece(BlobPieceBytes, Qt::Uninitialized);
    qint64 done = 0;
    qint64 total = -1;
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN result = SQLGetData(m_handle, column, SQL_C_BINARY, piece.data(),
                                            SQLLEN(piece.size()), &indicator);
        if (result == SQL_NO_DATA)
            break;
        check(result);
        if (indicator == SQL_NULL_DATA)
            return false;
        // The first answer tells what is left, which is all of it.
        if (total < 0 && indicator != SQL_NO_TOTAL)
            total = indicator;
        const qint64 length = indicator == SQL_NO_TOTAL || indicator > piece.size()
                                  ? piece.size()
                                  : qint64(indicator);
        sink(piece.constData(), length);
        done += length;
        reportProgress(progress, done, total);
        if (result == SQL_SUCCESS)
            break;
    }
    return true;
}

int Statement::columnCount()
{
    SQLSMALLINT count = 0;
    check(SQLNumResultCols(m_handle, &count));
    return count;
}

int Statement::rowsAffected()
{
    SQLLEN count = -1;
    check(SQLRowCount(m_handle, &count));
    return int(count);
}

void Statement::takeRows(ResultRows& rows, const Progress& progress)
{
    const int count = columnCount();
    QList<SQLSMALLINT> types;
    for (SQLUSMALLINT column = 1; column <= count; ++column) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        check(SQLDescribeColW(m_handle, column, name, 256, &nameLength, &type, &size, &digits,
                              &nullable));
        rows.fieldNames.append(QString::fromUtf16(reinterpret_cast<const char16_t*>(name),
                                                  qMin<qsizetype>(nameLength, 255)));
        types.append(type);
    }
    qint64 read = 0;
    for (;;) {
        const SQLRETURN result = SQLFetch(m_handle);
        if (result == SQL_NO_DATA)
            break;
        check(result);
        // Columns are read in order: the driver hands each over once, forward.
        rows.beginRow();
        for (SQLUSMALLINT column = 1; column <= count; ++column)
            readValue(column, types.at(column - 1), rows);
        withdrawnWhenCancelled([&] { reportRows(progress, ++read); });
    }
}

void Statement::withdrawnWhenCancelled(const std::function<void()>& report)
{
    try {
        report();
    } catch (const Cancelled&) {
        // The rows still on their way are dropped with the request.
        SQLCancel(m_handle);
        throw;
    }
}

int Statement::skipRows(const Progress& progress)
{
    int count = 0;
    for (;;) {
        const SQLRETURN result = SQLFetch(m_handle);
        if (result == SQL_NO_DATA)
            return count;
        check(result);
        ++count;
        withdrawnWhenCancelled([&] { reportRows(progress, count); });
    }
}

bool Statement::nextResult()
{
    const SQLRETURN result = SQLMoreResults(m_handle);
    if (result == SQL_NO_DATA)
        return false;
    check(result);
    return true;
}

void Statement::readValue(SQLUSMALLINT column, SQLSMALLINT type, ResultRows& rows)
{
    SQLLEN indicator = 0;
    switch (type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER: {
        SQLINTEGER value = 0;
        check(SQLGetData(m_handle, column, SQL_C_SLONG, &value, 0, &indicator));
        if (indicator == SQL_NULL_DATA)
            rows.appendNull();
        else
            rows.appendInt(int(value));
        return;
    }
    case SQL_BIGINT: {
        SQLBIGINT value = 0;
        check(SQLGetData(m_handle, column, SQL_C_SBIGINT, &value, 0, &indicator));
        if (indicator == SQL_NULL_DATA)
            rows.appendNull();
        else
            rows.appendLongLong(qint64(value));
        return;
    }
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DECIMAL:
    case SQL_NUMERIC: {
        SQLDOUBLE value = 0;
        check(SQLGetData(m_handle, column, SQL_C_DOUBLE, &value, 0, &indicator));
        if (indicator == SQL_NULL_DATA)
            rows.appendNull();
        else
            rows.appendDouble(double(value));
        return;
    }
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: {
        bool isNull = false;
        QByteArray bytes = readBytes(column, &isNull);
        if (isNull)
            rows.appendNull();
        else
            rows.appendBlob(std::move(bytes));
        return;
    }
    default: {
        bool isNull = false;
        const QByteArray text = readText(column, &isNull).toUtf8();
        if (isNull)
            rows.appendNull();
        else
            rows.appendText(text.constData(), text.size());
        return;
    }
    }
}

QString Statement::readText(SQLUSMALLINT column, bool* isNull)
{
    constexpr qsizetype PieceUnits = PieceBytes / sizeof(SQLWCHAR);
    QString text;
    if (m_piece.size() != PieceUnits)
        m_piece = QString(PieceUnits, Qt::Uninitialized);
    QString& piece = m_piece;
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN result =
            SQLGetData(m_handle, column, SQL_C_WCHAR, wide(piece), PieceBytes, &indicator);
        if (result == SQL_NO_DATA)
            break;
        check(result);
        if (indicator == SQL_NULL_DATA) {
            *isNull = true;
            return QString();
        }
        // A piece that did not hold the rest is full but for its terminator.
        const bool cut = indicator == SQL_NO_TOTAL || indicator >= PieceBytes;
        const qsizetype units = cut ? PieceUnits - 1 : indicator / qsizetype(sizeof(SQLWCHAR));
        text.append(QStringView(piece).left(units));
        if (result == SQL_SUCCESS || !cut)
            break;
    }
    return text;
}

QByteArray Statement::readBytes(SQLUSMALLINT column, bool* isNull)
{
    QByteArray bytes;
    qsizetype filled = 0;
    SQLLEN room = PieceBytes;
    bytes.resize(room);
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN result =
            SQLGetData(m_handle, column, SQL_C_BINARY, bytes.data() + filled, room, &indicator);
        if (result == SQL_NO_DATA)
            break;
        check(result);
        if (indicator == SQL_NULL_DATA) {
            *isNull = true;
            return QByteArray();
        }
        if (indicator != SQL_NO_TOTAL && indicator <= room) {
            filled += indicator;
            break;
        }
        // Cut short: the indicator tells how much is left, when the driver knows.
        filled += room;
        room = indicator == SQL_NO_TOTAL ? PieceBytes : indicator - room;
        bytes.resize(filled + room);
    }
    bytes.resize(filled);
    return bytes;
}

} // namespace db::odbc
