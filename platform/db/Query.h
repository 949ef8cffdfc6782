#pragma once

#include "Engine.h"
#include "ResultRows.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

namespace db {

class Connection;
class Query;

// A progress or a runner set on a query for a scope: when the scope ends the
// query takes it off and has the one it had before, so that it never keeps
// a closure over what the scope held.
class [[nodiscard]] RunnerScope final
{
public:
    RunnerScope(RunnerScope&& other) noexcept;
    ~RunnerScope();

    RunnerScope(const RunnerScope&) = delete;
    RunnerScope& operator=(const RunnerScope&) = delete;
    RunnerScope& operator=(RunnerScope&&) = delete;

private:
    friend class Query;
    RunnerScope(Query& query, Runner previous);

    Query* m_query;
    Runner m_previous;
};

// A statement on one connection, with its result held on the client.
//
// The statement text is a list of lines, sent joined with CR LF after each
// line, as written: the engine adapts the dialect, never the caller's values.
// open() fetches every row, so recordCount() is exact; countRows() gives the
// same number for a statement whose rows are not needed, without keeping them.
// Rows can be appended, edited, posted (written back to the statement's base
// table, the table after the first FROM, keyed by its column "id") and
// deleted, which is what a data-aware grid needs. An edited row is written
// only where the columns it changes still hold what was read, and a row is
// deleted only as it was read; when someone else changed or removed it
// meanwhile, nothing is written and DbError is raised.
class Query final
{
public:
    explicit Query(Connection& connection);
    ~Query();

    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    // Statement text. Clearing it also drops the ":file" value, which belongs
    // to the statement it was given for.
    void clearSql();
    void addSql(const QString& line);
    // Closes the query and makes the statement the whole text: what every
    // operation does before it runs its next statement.
    void setSql(const QString& statement);
    QString sqlText() const;                                 // every line followed by "\r\n"
    const QString& openedSql() const { return m_openedSql; } // the text whose rows are held

    // The blob parameter written ":file" in the statement: bytes, or a file,
    // which execute() reads a piece at a time. DbError when it is unreadable.
    void setFileParameter(const QByteArray& bytes);
    void loadFileParameter(const QString& path);
    // Told the bytes of a file parameter or of a blob as they travel, and
    // the rows as open() and countRows() read them; it may stop the step,
    // which then throws Cancelled and leaves nothing done: a cancelled
    // open() keeps the rows held before (which a progress therefore costs:
    // the old rows and the new are held together while the new are read).
    // It holds until the scope returned ends.
    RunnerScope setProgress(Progress progress);
    // As setProgress(), but the work of each step is handed to the runner,
    // which may run it on a thread of its own: the work touches only the
    // connection, lent to that thread for the time (Connection::lent()),
    // and what it reads, and the rows held change after it, on the caller's
    // thread. None (empty) runs steps without a progress.
    RunnerScope setRunner(Runner runner);

    void open(); // a statement that returns rows; all rows fetched
    // No rows; a text of several statements runs as one batch. Returns the
    // number of rows the text's statements changed, together.
    int execute();
    int countRows(); // runs the statement and counts its rows without keeping them
    void close();
    bool isOpen() const;

    // Navigation over the fetched rows.
    int recordCount() const;
    void first();
    void next();
    bool eof() const;
    int currentRow() const; // -1 when there is no row
    void setCurrentRow(int row);

    // Fields of the current row; reading one when there is no current row
    // raises DbError.
    int fieldCount() const;
    QString fieldName(int position) const;
    int fieldIndex(const QString& name) const; // DbError for a name the result lacks
    bool hasField(const QString& name) const;
    QVariant value(int position) const;
    QVariant value(const QString& name) const;
    bool isNull(int position) const;
    QString text(int position) const; // as for editing; NULL reads ""
    QString text(const QString& name) const;
    QByteArray bytes(const QString& name) const; // NULL gives empty
    // Runs the statement, whose first column is a blob, and writes the first
    // row's value to the file a piece at a time, creating or replacing it
    // (NULL gives an empty file); false, and no file, when there is no row.
    bool saveBlobToFile(const QString& path);
    // Runs the statement, whose first column is a blob, and hands the first
    // row's value to the sink a piece at a time (NULL gives no piece); false
    // when there is no row.
    bool readBlob(const BlobSink& sink);

    // Editing, for a data-aware grid. Rows are addressed by index.
    enum class RowState : quint8
    {
        Unchanged,
        Inserted,
        Modified
    };
    QVariant rowValue(int row, int position) const;
    void setRowValue(int row, int position, const QVariant& value); // marks the row modified
    RowState rowState(int row) const;
    void appendRow();        // a blank row at the end, made current
    void postRow(int row);   // INSERT or UPDATE, then the row is read back
    void cancelRow(int row); // drops an unposted new row, restores an edited one
    void deleteCurrentRow(); // DELETE of the current row as read, then drops it

private:
    friend class RunnerScope;

    void requireOpen() const;
    void requireRow() const;
    void requireRowIndex(int row) const;
    void requirePosition(int position) const;
    QString baseTable() const;
    // The file parameter's bytes, read whole when it is a file.
    void runStep(const Work& work);
    FileParameter fileBytes() const;
    // After a post, the row takes the values the table holds: what a column
    // made of the typed text, and the key of a new row.
    void readBack(int row, const QString& table);
    // The key and, for each of the positions, that the column still holds the
    // value it was read with, joined by AND; their values are appended.
    QString asRead(const QList<QVariant>& read, const QList<int>& positions,
                   QList<QVariant>& values) const;
    int rowCount() const { return static_cast<int>(m_states.size()); }
    QVariant valueAt(int row, int position) const;
    QList<QVariant> rowValues(int row) const;
    void dropRow(int row);

    // A row's values before its edit began, and whether they were edited
    // values themselves or the fetched ones.
    struct Original
    {
        QList<QVariant> values;
        bool edited = false;
    };

    Connection& m_connection;
    QStringList m_lines;
    QString m_openedSql; // the text whose rows are held
    std::optional<QByteArray> m_fileParameter;
    QString m_filePath; // a file parameter read while the statement runs
    Runner m_runner;    // none: steps run here, without a progress
    bool m_open = false;
    ResultRows m_rows;                    // as fetched, compact
    QList<RowState> m_states;             // one a row
    QHash<int, QList<QVariant>> m_edited; // the values of appended and edited rows
    QHash<int, Original> m_originals;     // of the rows being modified
    int m_current = -1;
};

} // namespace db
