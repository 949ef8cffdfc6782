#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The database a test works on, on the engine the test run names.
//
// By default the embedded engine: the file <name>.db in the program folder
// that a TestFolder stands in for, made when first connected to.
//
// With VARDENIX_TEST_ENGINE=sqlserver, a database on the SQL Server that
// VARDENIX_MSSQL names, a connection string of the program's format (server,
// login, password) whose login may create databases; its Initial Catalog,
// master when empty, is where they are created from. Making a database takes
// a server seconds, so a test program makes one for each name it uses, with
// a unique name vardenix_test_... and the given collation, and drops them
// when it ends; each new object empties its database of every table. Such
// databases left behind by a crashed run are dropped by the next run once
// they are an hour old.
class TestDatabase final
{
public:
    static bool onSqlServer();
    static bool embedded() { return !onSqlServer(); }

    static constexpr const char* ChineseCollation = "Chinese_PRC_CI_AS";

    // True on Babelfish, a T-SQL server that differs from Microsoft SQL
    // Server in documented ways (error texts, which errors end a
    // transaction, collations it can make). A case that meets one says so
    // with SKIP_ON_SERVER_DIFFERENCE, by name and with its reason.
    static bool onBabelfish();
    // An error's words as the engine of the run says them: the embedded
    // engine's, Microsoft SQL Server's, or Babelfish's, which words its
    // errors as PostgreSQL does.
    static QString wording(const QString& embedded, const QString& sqlServer,
                           const QString& babelfish);

    // name: the embedded file's name; on SQL Server a part of the unique name.
    explicit TestDatabase(const QString& name = QStringLiteral("test"),
                          const QString& collation = QLatin1String(ChineseCollation));
    ~TestDatabase();

    // Drops this program's server databases now rather than when it ends,
    // for a test that stops its server.
    static void dropServerDatabases();

    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    // The values an operator gives on the connection page and the settings
    // file keeps, and the program's connection string built from them.
    QString host() const;
    QString user() const;
    QString password() const;
    const QString& name() const { return m_name; }
    QString connectionString() const;

    // The connection string of a database by that name on the same engine,
    // which need not exist.
    static QString connectionStringTo(const QString& database);
    // A database name that cannot be opened: a path into a missing folder on
    // the embedded engine, a database that does not exist on the server.
    static QString missingName();

    // On a connection of the test's own.
    void execute(const QStringList& lines) const;
    QList<QStringList> rows(const QString& statement) const; // every field as text
    QStringList tableNames() const;                          // lower case, sorted
    void renameTable(const QString& from, const QString& to) const;
    // Makes every statement that updates the column fail with the message.
    void refuseUpdates(const QString& table, const QString& column, const QString& message) const;

private:
    QString m_name;
};

#define SKIP_ON_SERVER_DIFFERENCE(reason)                                                          \
    do {                                                                                           \
        if (TestDatabase::onBabelfish())                                                           \
            QSKIP("server difference: " reason);                                                   \
    } while (false)
