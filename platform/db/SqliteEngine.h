#pragma once

#include "Connection.h"
#include "ConnectionString.h"
#include "Engine.h"

#include <QHash>
#include <QSet>
#include <functional>

struct sqlite3;

namespace db {

// The path of the embedded database's file: <Initial Catalog>.db in the
// program's folder. DbError for a name that is empty or not a plain name.
QString embeddedDatabasePath(const ConnectionStringParts& parts);

// The embedded engine: the SQLite file embeddedDatabasePath(), made when
// missing as `missing` says, through SQLite's own interface, which fetches
// rows at the speed of SQLite itself. The engine is used by one thread at a
// time (see Connection); only interrupt() comes from another.
// SQL Server statements are translated to SQLite's dialect first; a text of
// several statements runs in one transaction, all or nothing. Every
// connection has the SQL functions and the collation that the translation
// uses (gbk_length, tsql_number, tsql_chinese).
class SqliteEngine final : public Engine
{
public:
    // Opens; DbError when it cannot.
    SqliteEngine(const ConnectionStringParts& parts, MissingFile missing);
    ~SqliteEngine() override;

    // How many sessions of this engine the process has open, pooled ones included.
    static int openSessions();

    SqliteEngine(const SqliteEngine&) = delete;
    SqliteEngine& operator=(const SqliteEngine&) = delete;

    void beginTransaction() override;
    void commit() override;
    void rollback() override;

    ResultRows select(const QString& text, const FileParameter& file,
                      const Progress& progress) override;
    int execute(const QString& text, const FileParameter& file) override;
    int countRows(const QString& text, const FileParameter& file,
                  const Progress& progress) override;
    int executeWithFile(const QString& text, QIODevice& file, const Progress& progress) override;
    bool readBlob(const QString& text, const BlobSink& sink, const Progress& progress) override;
    void interrupt() override;
    std::optional<ChangeStamp> changeStamp() override;

    QString quoteName(const QString& name) const override;
    QString insertStatement(const QString& table, const QStringList& columns,
                            const QString& keyColumn) const override;
    QVariant insertRow(const QString& statement, const QList<QVariant>& values) override;
    int writeRow(const QString& statement, const QList<QVariant>& values) override;
    QString sameTextCondition(const QString& quotedName) const override;

private:
    QStringList translate(const QString& text) const;
    const QSet<QString>& textColumns() const;
    // Runs the statements; rows, when given, receive those of the first
    // statement that returns any.
    void runAll(const QStringList& statements, const FileParameter& file, ResultRows* rows,
                const Progress& progress = {});
    void runOne(const QString& statement, const FileParameter& file, ResultRows* rows,
                const Progress& progress = {});
    // Runs the work behind a savepoint: all or nothing, inside a caller's
    // transaction as well as on its own.
    void asOneUnit(const std::function<void()>& work);
    void command(const QString& statement);
    void close();
    bool resetForReuse() override;
    bool reused() override;

    // Whether the file is still where it was opened, asked of the system
    // with the path encoded once: every statement asks.
    bool fileExists() const;
    // Which file the path names: its device and inode, zeros when none.
    struct FileIdentity
    {
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const FileIdentity& other) const
        {
            return device == other.device && inode == other.inode;
        }
    };
    FileIdentity fileIdentity() const;
    void requireFile() const; // DbError when the file has gone since it was opened
    void mapPagesOfNewFile();

    const quint64 m_sessionNumber; // unique in the process
    QString m_path;
    QByteArray m_nativePath;
    FileIdentity m_file; // the file opened
    sqlite3* m_handle = nullptr;
    mutable QSet<QString> m_textColumns;
    mutable qint64 m_schemaVersion = -1;
    mutable unsigned int m_dataVersion = 0;
    // Translations made for the current schema, by statement text.
    mutable QHash<QString, QStringList> m_translations;
};

} // namespace db
