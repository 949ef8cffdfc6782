#pragma once

#include "Engine.h"

#include <QIODevice>
#include <QList>
#include <QString>
#include <QVariant>
#include <deque>
#include <functional>
#include <sql.h>

namespace db::odbc {

// What the driver said about a failed call.
struct Diagnostics
{
    QString text;          // every record's message, in order
    bool linkLost = false; // the session with the server is gone (SQLSTATE class 08)
};

Diagnostics diagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// A text as the driver manager's wide characters, UTF-16 like QString's.
inline SQLWCHAR* wide(const QString& text)
{
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
    return reinterpret_cast<SQLWCHAR*>(const_cast<QChar*>(text.constData()));
}

// The process's ODBC environment (ODBC 3), made on first use.
SQLHENV environment();

// A connection handle of the driver, and whether a call on it found the
// session with the server gone.
struct Session
{
    SQLHDBC handle = SQL_NULL_HDBC;
    bool lost = false;
};

// One statement handle of a session, freed with the object. Texts go to the
// driver as UTF-16 and come back as UTF-16, so the driver converts between
// the server's code page and Unicode itself and no text is cut at a buffer
// sized for the column. Every failure throws DbError with the driver's
// diagnostics and marks the session lost when it went with the failure.
class Statement final
{
public:
    explicit Statement(Session& session);
    ~Statement();

    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds the value of the next "?" marker; the statement keeps a copy
    // until it is executed. A NULL is an invalid or null QVariant.
    void bind(const QVariant& value);
    // Runs the text as one request; the first result is then current.
    void execute(const QString& text);

    // Binds the next "?" marker to a binary value of the size that the run
    // takes from the source a piece at a time (data at execution).
    void bindAtExecution(qint64 size);
    // Runs the text with its value bound at execution read from the source,
    // reporting the bytes handed over; on Cancelled the request is withdrawn.
    void executeFeeding(const QString& text, QIODevice& source, qint64 size,
                        const Progress& progress);
    // Moves to the next row of the current result; false when there is none.
    bool fetch();
    // Hands the current row's binary value of the column to the sink a piece
    // at a time; false for a NULL.
    bool readBytesTo(SQLUSMALLINT column, const BlobSink& sink, const Progress& progress);

    // Ends a call running on another thread soon, with an error.
    void cancelFromElsewhere();

    int columnCount();
    int rowsAffected(); // of the current result
    // Appends the field names and every row of the current result, telling
    // the progress the rows read; on Cancelled the rest of the request is
    // withdrawn.
    void takeRows(ResultRows& rows, const Progress& progress = {});
    // Walks the current result's rows without reading a value.
    int skipRows(const Progress& progress = {});
    // Moves to the next result of the request; false when there is none.
    bool nextResult();

private:
    [[noreturn]] void fail();
    // Runs a report of the progress; when it stops the step, the request
    // is withdrawn before Cancelled goes on.
    void withdrawnWhenCancelled(const std::function<void()>& report);
    void check(SQLRETURN result);
    // Appends the current row's value of the column to the rows.
    void readValue(SQLUSMALLINT column, SQLSMALLINT type, ResultRows& rows);
    QString readText(SQLUSMALLINT column, bool* isNull);
    QByteArray readBytes(SQLUSMALLINT column, bool* isNull);

    Session& m_session;
    SQLHSTMT m_handle = SQL_NULL_HSTMT;
    QString m_piece; // where the driver puts a text, reused from value to value
    // A bound value as the driver reads it, at an address that stays put.
    struct Bound
    {
        QString text;
        QByteArray bytes;
        qint64 integer = 0;
        double real = 0;
        SQLLEN length = 0;
    };
    std::deque<Bound> m_bound;
};

} // namespace db::odbc
