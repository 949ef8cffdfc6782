#include "TestDatabase.h"

#include "common/SqlText.h"
#include "platform/db/Connection.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/SessionPool.h"
#include "platform/paths/ProgramPaths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QtGlobal>
#include <algorithm>
#include <map>
#include <sqlite3.h>

namespace {

const QString EmbeddedHost = QStringLiteral("(localdb)");
const QString EmbeddedUser = QStringLiteral("sa");
const QString NamePrefix = QStringLiteral("vardenix_test_");

QString programConnectionString(const QString& host, const QString& database, const QString& user,
                                const QString& password)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=%1;Data Source=%2;Password=%3;"
                          "Persist Security Info=True;User ID=%4")
        .arg(database, host, password, user);
}

// The server, login and password of VARDENIX_MSSQL.
const db::ConnectionStringParts& server()
{
    static const db::ConnectionStringParts parts = [] {
        const QString text = qEnvironmentVariable("VARDENIX_MSSQL");
        if (text.isEmpty())
            qFatal("VARDENIX_TEST_ENGINE=sqlserver needs VARDENIX_MSSQL: the connection string "
                   "of a SQL Server login that may create databases");
        db::ConnectionStringParts parsed = db::parseConnectionString(text);
        if (parsed.initialCatalog.isEmpty())
            parsed.initialCatalog = QStringLiteral("master");
        return parsed;
    }();
    return parts;
}

void runOn(const QString& connectionString, const QStringList& lines)
{
    db::Connection connection(connectionString);
    db::Query query(connection);
    for (const QString& line : lines)
        query.addSql(line);
    query.execute();
}

QString adminConnectionString()
{
    return programConnectionString(server().dataSource, server().initialCatalog, server().userId,
                                   server().password);
}

QString quotedName(const QString& name)
{
    return u'[' + QString(name).replace(u']', QStringLiteral("]]")) + u']';
}

void dropDatabase(const QString& name)
{
    // Idle sessions kept for reuse would hold the database open.
    db::SessionPool::clear();
    // Connections that a test left open are cut off rather than waited for.
    // Not every T-SQL server has single-user mode; the drop then needs the
    // connections closed, which the tests do.
    try {
        runOn(adminConnectionString(),
              {QStringLiteral("ALTER DATABASE %1 SET SINGLE_USER WITH ROLLBACK IMMEDIATE")
                   .arg(quotedName(name))});
    } catch (const db::DbError&) {
    }
    runOn(adminConnectionString(), {QStringLiteral("DROP DATABASE %1").arg(quotedName(name))});
}

// Databases of runs that ended without dropping theirs: a test program
// runs for half an hour at most.
void dropStaleDatabases()
{
    QStringList stale;
    {
        db::Connection admin(adminConnectionString());
        db::Query query(admin);
        query.addSql(QStringLiteral("SELECT name FROM sys.databases WHERE name LIKE "
                                    "'vardenix[_]test[_]%' AND create_date < "
                                    "DATEADD(hour, -1, GETDATE())"));
        query.open();
        for (; !query.eof(); query.next())
            stale.append(query.text(0));
    }
    for (const QString& name : stale) {
        try {
            dropDatabase(name);
        } catch (const db::DbError& error) {
            qWarning("could not drop the stale test database %s: %s", qPrintable(name),
                     error.what());
        }
    }
}

QString uniqueName(const QString& name)
{
    QString part;
    for (const QChar c : name)
        part += c.isLetterOrNumber() && c.unicode() < 128 ? c : u'_';
    return NamePrefix + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmmss_")) +
           QString::number(QCoreApplication::applicationPid()) + u'_' + part;
}

// A server database is made once for each name a test program uses, since
// making one takes seconds, and dropped when the program ends.
class ServerDatabases final
{
public:
    // The server's settings and the session pool must outlive this object,
    // which drops its databases when statics are destroyed.
    ServerDatabases()
    {
        server();
        db::SessionPool::clear();
    }

    ~ServerDatabases() { dropAll(); }

    void dropAll()
    {
        for (const QString& name : std::as_const(m_names)) {
            try {
                dropDatabase(name);
            } catch (const db::DbError& error) {
                qWarning("could not drop the test database %s: %s", qPrintable(name), error.what());
            }
        }
        m_names.clear();
        m_byKey.clear();
    }

    QString take(const QString& name, const QString& collation)
    {
        const QString key = name + u'/' + collation.toLower();
        auto found = m_byKey.find(key);
        if (found != m_byKey.end())
            return found->second;
        if (m_names.isEmpty())
            dropStaleDatabases();
        const QString unique = uniqueName(name + u'_' + QString::number(m_names.size() + 1));
        runOn(adminConnectionString(),
              {QStringLiteral("CREATE DATABASE %1 COLLATE %2").arg(quotedName(unique), collation)});
        m_names.append(unique);
        m_byKey.emplace(key, unique);
        return unique;
    }

private:
    QStringList m_names;
    std::map<QString, QString> m_byKey;
};

ServerDatabases& serverDatabases()
{
    static ServerDatabases databases;
    return databases;
}

// Empties a database for the next test case.
void dropTables(const QString& connectionString)
{
    QStringList names;
    {
        db::Connection connection(connectionString);
        db::Query query(connection);
        query.addSql(QStringLiteral("SELECT name FROM sys.tables"));
        query.open();
        for (; !query.eof(); query.next())
            names.append(query.text(0));
    }
    for (const QString& name : names)
        runOn(connectionString, {QStringLiteral("DROP TABLE %1").arg(quotedName(name))});
}

} // namespace

bool TestDatabase::onSqlServer()
{
    return qEnvironmentVariable("VARDENIX_TEST_ENGINE") == QLatin1String("sqlserver");
}

TestDatabase::TestDatabase(const QString& name, const QString& collation) : m_name(name)
{
    if (embedded())
        return;
    try {
        m_name = serverDatabases().take(name, collation);
        dropTables(connectionString());
    } catch (const db::DbError& error) {
        qFatal("cannot make the test database for %s on SQL Server %s: %s", qPrintable(name),
               qPrintable(server().dataSource), error.what());
    }
}

TestDatabase::~TestDatabase() = default;

void TestDatabase::dropServerDatabases()
{
    if (onSqlServer())
        serverDatabases().dropAll();
}

QString TestDatabase::wording(const QString& embedded, const QString& sqlServer,
                              const QString& babelfish)
{
    if (TestDatabase::embedded())
        return embedded;
    return onBabelfish() ? babelfish : sqlServer;
}

bool TestDatabase::onBabelfish()
{
    static const bool babelfish = [] {
        if (embedded())
            return false;
        db::Connection connection(adminConnectionString());
        db::Query query(connection);
        query.addSql(QStringLiteral("SELECT @@VERSION"));
        query.open();
        return query.text(0).contains(QLatin1String("Babelfish"), Qt::CaseInsensitive);
    }();
    return babelfish;
}

QString TestDatabase::host() const
{
    return embedded() ? EmbeddedHost : server().dataSource;
}

QString TestDatabase::user() const
{
    return embedded() ? EmbeddedUser : server().userId;
}

QString TestDatabase::password() const
{
    return embedded() ? QString() : server().password;
}

QString TestDatabase::connectionString() const
{
    return programConnectionString(host(), m_name, user(), password());
}

QString TestDatabase::connectionStringTo(const QString& database)
{
    if (embedded())
        return programConnectionString(EmbeddedHost, database, EmbeddedUser, QString());
    return programConnectionString(server().dataSource, database, server().userId,
                                   server().password);
}

QString TestDatabase::missingName()
{
    return embedded() ? QStringLiteral("no/such/folder/demo")
                      : QStringLiteral("vardenix_no_such_database");
}

void TestDatabase::execute(const QStringList& lines) const
{
    runOn(connectionString(), lines);
}

QList<QStringList> TestDatabase::rows(const QString& statement) const
{
    db::Connection connection(connectionString());
    db::Query query(connection);
    query.addSql(statement);
    query.open();
    QList<QStringList> result;
    for (query.first(); !query.eof(); query.next()) {
        QStringList fields;
        for (int i = 0; i < query.fieldCount(); ++i)
            fields.append(query.text(i));
        result.append(fields);
    }
    return result;
}

QStringList TestDatabase::tableNames() const
{
    const QString statement =
        embedded() ? QStringLiteral("select name from sqlite_master where type='table' and "
                                    "name not like 'sqlite%'")
                   : QStringLiteral("select name from sys.tables");
    QStringList names;
    for (const QStringList& row : rows(statement))
        names.append(row.constFirst().toLower());
    std::sort(names.begin(), names.end());
    return names;
}

void TestDatabase::renameTable(const QString& from, const QString& to) const
{
    execute({embedded() ? QStringLiteral("alter table %1 rename to %2;").arg(from, to)
                        : QStringLiteral("EXEC sp_rename '%1', '%2', 'OBJECT'")
                              .arg(QuoteDoubled(from), QuoteDoubled(to))});
}

void TestDatabase::refuseUpdates(const QString& table, const QString& column,
                                 const QString& message) const
{
    const QString trigger = QStringLiteral("refuse_") + column;
    if (onSqlServer()) {
        // RAISERROR fails the statement and leaves the caller's transaction
        // open, so that only the caller's rollback undoes its earlier work.
        execute({QStringLiteral("CREATE TRIGGER %1 ON %2 AFTER UPDATE AS IF UPDATE(%3) "
                                "RAISERROR('%4', 16, 1)")
                     .arg(trigger, table, column, QuoteDoubled(message))});
        return;
    }
    // The program's dialect has no words for triggers: SQLite's own text on the file.
    const QByteArray file =
        QFile::encodeName(ProgramPaths::folder() + m_name + QStringLiteral(".db"));
    const QByteArray create = QStringLiteral("CREATE TRIGGER %1 BEFORE UPDATE OF %2 ON %3 BEGIN "
                                             "SELECT RAISE(ABORT, '%4'); END")
                                  .arg(trigger, column, table, QuoteDoubled(message))
                                  .toUtf8();
    sqlite3* handle = nullptr;
    char* error = nullptr;
    if (sqlite3_open_v2(file.constData(), &handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_exec(handle, create.constData(), nullptr, nullptr, &error) != SQLITE_OK)
        qFatal("cannot create the trigger %s: %s", qPrintable(trigger),
               error ? error : sqlite3_errmsg(handle));
    sqlite3_close(handle);
}
