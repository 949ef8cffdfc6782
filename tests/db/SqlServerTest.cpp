// The SQL Server engine on a real server, for what the embedded engine
// cannot show. Runs only on the server that VARDENIX_MSSQL names, each test
// on a database of its own (see TestDatabase); the other database tests run
// there as well.

#include "DatabaseFixture.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/SessionPool.h"
#include "support/Failure.h"
#include "support/FillingText.h"

#include <QFile>
#include <QTest>

namespace {

QString connectionString(const db::ConnectionStringParts& parts)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=%1;Data Source=%2;Password=%3;"
                          "Persist Security Info=True;User ID=%4")
        .arg(parts.initialCatalog, parts.dataSource, parts.password, parts.userId);
}

// The server's own session number of the connection.
int sessionId(FreshDatabase& database)
{
    return database.column(QStringLiteral("SELECT @@SPID")).constFirst().toInt();
}

// The first column of the first row, on a connection of its own that is
// released afterwards.
QString firstValue(const QString& connectionString, const QString& statement)
{
    db::Connection connection(connectionString);
    db::Query query(connection);
    query.addSql(statement);
    query.open();
    return query.text(0);
}

void executeOn(db::Connection& connection, const QString& statement)
{
    db::Query query(connection);
    query.addSql(statement);
    query.execute();
}

// Ends a session from a connection to another database, which never shares
// the session, as a server restart or failover does.
void killSession(int session)
{
    db::Connection admin(TestDatabase::connectionStringTo(QStringLiteral("master")));
    db::Query query(admin);
    query.addSql(QStringLiteral("KILL %1").arg(session));
    query.execute();
}

QStringList ids(int first, int last)
{
    QStringList list;
    for (int id = first; id <= last; ++id)
        list.append(QString::number(id));
    return list;
}

} // namespace

class SqlServerTest : public QObject
{
    Q_OBJECT

private slots:
    void wrongPasswordFails();
    void failingStatementCarriesTheServerMessage();
    void firstRunAndCatalogue();
    void pagingAndCounting();
    void blobRoundTrip_data();
    void blobRoundTrip();
    void failingLaterStatementUndoesTheBatch();
    void failingBatchInsideATransactionUndoesOnlyItself();
    void posting();
    void newRowKeyWithATriggerOnTheTable();
    void chineseTextFillsItsColumn_data();
    void chineseTextFillsItsColumn();
    void transactionEndedByTheServer();
    void unitInsideATransactionIsAllOrNothing();
    void lostSessionIsReplaced();
    void releasedSessionsServeTheNextConnection();
    void pooledSessionStartsClean();
};

void SqlServerTest::wrongPasswordFails()
{
    SKIP_ON_SERVER_DIFFERENCE("the test server trusts every login from this machine");
    TestFolder folder;
    db::ConnectionStringParts parts = db::parseConnectionString(folder.connectionString());
    parts.password += QStringLiteral("-wrong");
    db::Connection connection(connectionString(parts));
    const QString error = failure([&] { connection.connect(); });
    QVERIFY2(error.contains(QStringLiteral("login"), Qt::CaseInsensitive), qPrintable(error));
    QVERIFY(!connection.isConnected());
}

void SqlServerTest::failingStatementCarriesTheServerMessage()
{
    FreshDatabase database;
    const QString error =
        failure([&] { database.column(QStringLiteral("select id from no_such_table")); });
    QVERIFY2(error.contains(TestDatabase::wording({},
                                                  QStringLiteral("Invalid object name "
                                                                 "'no_such_table'"),
                                                  QStringLiteral("relation \"no_such_table\" "
                                                                 "does not exist"))),
             qPrintable(error));
}

void SqlServerTest::firstRunAndCatalogue()
{
    FreshDatabase database;
    const QString probe = QStringLiteral("SELECT 1 FROM fid_user WHERE user_name='root'");
    QVERIFY(!failure([&] { database.column(probe); }).isEmpty());
    database.execute(standardFirstRun());
    QCOMPARE(database.column(probe), QStringList{QStringLiteral("1")});
    QCOMPARE(database.column(QStringLiteral("SELECT * FROM fid_title where clength>0")), ids(1, 5));
    database.open(QStringLiteral("SELECT * FROM fid_title where clength>0"));
    QCOMPARE(database.query.text(QStringLiteral("title")), QStringLiteral("名称"));
    QCOMPARE(database.query.text(QStringLiteral("cLength")), QStringLiteral("20"));
    QCOMPARE(database.column(QStringLiteral("select user_alias from fid_user where "
                                            "user_name='root'")),
             QStringList{QStringLiteral("管理员")});
    QCOMPARE(
        database.column(QStringLiteral("select parameter from fid_set where options='pagesize'")),
        QStringList{QStringLiteral("50")});
}

void SqlServerTest::pagingAndCounting()
{
    FreshDatabase database;
    database.execute({QStringLiteral("create table paging(id int NOT NULL IDENTITY (1, 1),"
                                     "f_1 varchar(20),f_2 int,f_3 float);")});
    QStringList inserts;
    for (int i = 1; i <= 160; ++i)
        inserts.append(QStringLiteral("insert into paging(f_1,f_2,f_3) values ('abc%1',%1,%2);")
                           .arg(i)
                           .arg(i / 4.0));
    database.execute(inserts);

    const QString head = QStringLiteral("SELECT TOP 50 id,f_1,f_2,f_3 FROM paging ");
    const QString all = QStringLiteral("WHERE (1=1)");
    QCOMPARE(database.column(head + all + QStringLiteral(" ORDER BY id ")), ids(1, 50));
    QCOMPARE(database.column(head + all +
                             QStringLiteral(" AND (ID >(SELECT MAX(id) FROM (SELECT TOP 100 id  "
                                            "FROM paging WHERE (1=1) ORDER BY id) AS T))   "
                                            "ORDER BY id ")),
             ids(101, 150));
    QCOMPARE(database.count(QStringLiteral("select id from  paging WHERE (1=1)")), 160);
    QCOMPARE(database.count(QStringLiteral("select id from  paging where f_1 like '%ABC1_%'")), 71);
}

void SqlServerTest::blobRoundTrip_data()
{
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<bool>("fromFile");
    for (const qsizetype size :
         {qsizetype(0), qsizetype(1), qsizetype(70 * 1024), qsizetype(5 * 1024 * 1024),
          qsizetype(20 * 1024 * 1024), qsizetype(50 * 1024 * 1024)}) {
        QTest::addRow("%lld bytes from a buffer", static_cast<long long>(size)) << size << false;
        QTest::addRow("%lld bytes from a file", static_cast<long long>(size)) << size << true;
    }
}

void SqlServerTest::blobRoundTrip()
{
    QFETCH(qsizetype, size);
    QFETCH(bool, fromFile);

    FreshDatabase database;
    database.execute({QStringLiteral("create table blobs(id int NOT NULL IDENTITY (1, 1),"
                                     "doc image);"),
                      QStringLiteral("insert into blobs(doc) values (NULL);")});
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7919) % 256);

    db::Query& query = database.query;
    query.clearSql();
    query.addSql(QStringLiteral("update blobs set doc=:file;"));
    if (fromFile) {
        QFile file(database.folder.file(QStringLiteral("source.bin")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        query.loadFileParameter(file.fileName());
    } else {
        query.setFileParameter(bytes);
    }
    query.execute();

    database.open(QStringLiteral("select doc from  blobs"));
    QVERIFY(!query.isNull(0)); // an empty file is an empty value, not NULL
    QVERIFY(query.bytes(QStringLiteral("doc")) == bytes);
    const QString target = database.folder.file(QStringLiteral("target.bin"));
    query.setSql(QStringLiteral("select doc from  blobs"));
    QVERIFY(query.saveBlobToFile(target));
    QFile written(target);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll() == bytes);
}

void SqlServerTest::failingLaterStatementUndoesTheBatch()
{
    FreshDatabase database;
    database.execute({QStringLiteral("create table batch(id int NOT NULL IDENTITY (1, 1),"
                                     "v varchar(4));"),
                      QStringLiteral("insert into batch(v) values ('a');")});
    // The second statement fails when it runs, after the first has run; the
    // server goes on with the third.
    const QString error = failure([&] {
        database.execute({QStringLiteral("update batch set v='b';"),
                          QStringLiteral("insert into batch(v) values ('too long');"),
                          QStringLiteral("insert into batch(v) values ('c');")});
    });
    QVERIFY2(error.contains(TestDatabase::wording({}, QStringLiteral("truncated"),
                                                  QStringLiteral("value too long"))),
             qPrintable(error));
    QCOMPARE(database.column(QStringLiteral("select v from batch")),
             QStringList{QStringLiteral("a")});
}

void SqlServerTest::failingBatchInsideATransactionUndoesOnlyItself()
{
    FreshDatabase database;
    database.execute({QStringLiteral("create table batch(id int NOT NULL IDENTITY (1, 1),"
                                     "v varchar(4));")});
    {
        db::Transaction transaction(database.connection);
        database.execute({QStringLiteral("insert into batch(v) values ('a');")});
        QVERIFY(!failure([&] {
                     database.execute({QStringLiteral("delete from batch;"),
                                       QStringLiteral("insert into batch(v) values ('long');"),
                                       QStringLiteral("insert into batch(v) values ('longer');")});
                 }).isEmpty());
        database.execute({QStringLiteral("insert into batch(v) values ('b');")});
        transaction.commit();
    }
    QCOMPARE(database.column(QStringLiteral("select v from batch order by id")),
             (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

void SqlServerTest::posting()
{
    FreshDatabase database;
    database.execute({QStringLiteral("create table posting(id int NOT NULL IDENTITY (1, 1),"
                                     "f_1 varchar(20),f_2 int,f_3 float);"),
                      QStringLiteral("insert into posting(f_1) values ('first');")});
    db::Query& query = database.query;
    database.open(QStringLiteral("SELECT TOP 50 id,f_1,f_2,f_3 FROM posting WHERE (1=1) "
                                 "ORDER BY id "));
    query.appendRow();
    query.setRowValue(1, 1, QStringLiteral("新记录"));
    query.setRowValue(1, 2, QStringLiteral("42"));
    query.postRow(1);
    QCOMPARE(query.text(QStringLiteral("id")), QStringLiteral("2"));

    query.setRowValue(0, 3, 2.5);
    query.setRowValue(0, 1, QVariant());
    query.postRow(0);
    query.setCurrentRow(1);
    query.setRowValue(1, 2, QStringLiteral("abc"));
    QVERIFY(!failure([&] { query.postRow(1); }).isEmpty());
    query.cancelRow(1);
    QCOMPARE(database.column(QStringLiteral("select f_1 from posting where id=2")),
             QStringList{QStringLiteral("新记录")});
    database.open(QStringLiteral("SELECT TOP 50 id,f_1,f_2,f_3 FROM posting WHERE (1=1) "
                                 "ORDER BY id "));
    query.setCurrentRow(1);
    query.deleteCurrentRow();

    QCOMPARE(database.column(QStringLiteral("select id from posting")),
             QStringList{QStringLiteral("1")});
    QCOMPARE(database.column(QStringLiteral("select f_3 from posting where f_1 is null")),
             QStringList{QStringLiteral("2.5")});
}

// A trigger that inserts into another table: the new row gets its own key
// back, not the other table's.
void SqlServerTest::newRowKeyWithATriggerOnTheTable()
{
    FreshDatabase database;
    database.execute({QStringLiteral("create table posting(id int NOT NULL IDENTITY (1, 1),"
                                     "f_1 varchar(20));"),
                      QStringLiteral("create table audit(id int NOT NULL IDENTITY (1, 1),"
                                     "note varchar(20));"),
                      QStringLiteral("insert into audit(note) values ('a'),('b'),('c');")});
    database.execute({QStringLiteral("CREATE TRIGGER log_posting ON posting AFTER INSERT AS "
                                     "INSERT INTO audit(note) SELECT f_1 FROM inserted")});
    database.open(QStringLiteral("select id,f_1 from posting"));
    database.query.appendRow();
    database.query.setRowValue(0, 1, QStringLiteral("new"));
    database.query.postRow(0);
    QCOMPARE(database.query.text(QStringLiteral("id")), QStringLiteral("1"));
    QCOMPARE(database.column(QStringLiteral("select id from audit where note='new'")),
             QStringList{QStringLiteral("4")});
}

QTEST_GUILESS_MAIN(SqlServerTest)
#include "SqlServerTest.moc"

void SqlServerTest::chineseTextFillsItsColumn_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("mixed");
    for (const int length : {10, 20, 48, 128, 240}) {
        QTest::addRow("varchar(%d) Chinese", length) << length << false;
        QTest::addRow("varchar(%d) Chinese and ASCII", length) << length << true;
    }
}

// A text read back grows from the column's code page to UTF-8 or UTF-16 on
// the way: it still arrives whole, and a grid that posts it back writes it
// unchanged.
void SqlServerTest::chineseTextFillsItsColumn()
{
    QFETCH(int, length);
    QFETCH(bool, mixed);
    const QString value = FillingText(length, mixed);
    FreshDatabase database;
    database.execute({QStringLiteral("create table texts(id int NOT NULL IDENTITY (1, 1),"
                                     "v varchar(%1),n int);")
                          .arg(length),
                      QStringLiteral("insert into texts(v) values ('%1');").arg(value)});
    QCOMPARE(database.column(QStringLiteral("select v from texts")), QStringList{value});
    QCOMPARE(database.column(QStringLiteral("select datalength(v) from texts")).size(), 1);

    // Through the grid: another column edited, the text posted back as read,
    // then a new row typed in full.
    database.open(QStringLiteral("select id,v,n from texts"));
    database.query.setRowValue(0, 2, 7);
    database.query.postRow(0);
    database.query.appendRow();
    database.query.setRowValue(1, 1, value);
    database.query.postRow(1);
    QCOMPARE(
        database.column(QStringLiteral("select v from texts where v=N'%1' order by id").arg(value)),
        (QStringList{value, value}));

    // One byte more than the column holds is refused, not cut.
    database.open(QStringLiteral("select id,v,n from texts"));
    database.query.appendRow();
    database.query.setRowValue(2, 1, value + u'x');
    QVERIFY(!failure([&] { database.query.postRow(2); }).isEmpty());
}

// Some errors make the server end the transaction itself: the operator sees
// the statement's own error, the connection stays usable, and nothing of the
// transaction is saved.
void SqlServerTest::transactionEndedByTheServer()
{
    FreshDatabase database;
    database.execute({QStringLiteral("create table numbers(id int NOT NULL IDENTITY (1, 1),"
                                     "n int);")});
    const int session = sessionId(database);
    {
        db::Transaction transaction(database.connection);
        database.execute({QStringLiteral("insert into numbers(n) values (1);")});
        const QString error = failure([&] {
            database.execute({QStringLiteral("insert into numbers(n) values ('three');")});
        });
        QVERIFY2(error.contains(QStringLiteral("three")), qPrintable(error));
    }
    QCOMPARE(database.column(QStringLiteral("select @@TRANCOUNT")), QStringList{"0"});
    QCOMPARE(sessionId(database), session);
    QCOMPARE(database.column(QStringLiteral("select n from numbers")), QStringList());

    // Outside a transaction the failing statement is the only loss.
    database.execute({QStringLiteral("insert into numbers(n) values (2);")});
    QVERIFY(!failure([&] {
                 database.execute({QStringLiteral("insert into numbers(n) values ('three');")});
             }).isEmpty());
    database.execute({QStringLiteral("insert into numbers(n) values (4);")});
    QCOMPARE(database.column(QStringLiteral("select n from numbers order by id")),
             (QStringList{"2", "4"}));
    QCOMPARE(sessionId(database), session);
}

// A batch that fails inside the caller's transaction: whether the server
// ended the whole transaction or only the statement, the caller's work is
// saved whole or not at all.
void SqlServerTest::unitInsideATransactionIsAllOrNothing()
{
    FreshDatabase database;
    database.execute({QStringLiteral("create table batch(id int NOT NULL IDENTITY (1, 1),"
                                     "v varchar(8));")});
    bool committed = false;
    {
        db::Transaction transaction(database.connection);
        database.execute({QStringLiteral("insert into batch(v) values ('a');")});
        QVERIFY(!failure([&] {
                     database.execute({QStringLiteral("insert into batch(v) values ('b');"),
                                       QStringLiteral("select nosuch from batch;")});
                 }).isEmpty());
        const QString later = failure(
            [&] { database.execute({QStringLiteral("insert into batch(v) values ('c');")}); });
        const QString commit = failure([&] { transaction.commit(); });
        committed = later.isEmpty() && commit.isEmpty();
        QVERIFY2(later.isEmpty() == commit.isEmpty(), qPrintable(later + u'|' + commit));
    }
    QCOMPARE(database.column(QStringLiteral("select v from batch order by id")),
             (committed ? QStringList{"a", "c"} : QStringList()));
    QCOMPARE(database.column(QStringLiteral("select @@TRANCOUNT")), QStringList{"0"});
}

// The server drops the session (a restart, a failover): a read goes on on a
// new session unnoticed; a write in flight is reported and the next one
// works; a transaction in flight is reported lost and nothing of it is saved.
void SqlServerTest::lostSessionIsReplaced()
{
    FreshDatabase database;
    database.execute({QStringLiteral("create table lost(id int NOT NULL IDENTITY (1, 1),"
                                     "v varchar(8));"),
                      QStringLiteral("insert into lost(v) values ('a');")});

    killSession(sessionId(database));
    QCOMPARE(database.column(QStringLiteral("select v from lost")), QStringList{"a"});
    QCOMPARE(database.count(QStringLiteral("select v from lost")), 1);

    killSession(sessionId(database));
    const QString write =
        failure([&] { database.execute({QStringLiteral("insert into lost(v) values ('b');")}); });
    database.execute({QStringLiteral("insert into lost(v) values ('c');")});

    const int session = sessionId(database);
    {
        db::Transaction transaction(database.connection);
        database.execute({QStringLiteral("insert into lost(v) values ('d');")});
        killSession(session);
        QVERIFY(!failure([&] {
                     database.execute({QStringLiteral("insert into lost(v) values ('e');")});
                 }).isEmpty());
        QVERIFY(!failure([&] { transaction.commit(); }).isEmpty());
    }
    const QStringList rows = database.column(QStringLiteral("select v from lost order by id"));
    // The write that met the dead session is reported, never lost unnoticed.
    QVERIFY2(!write.isEmpty() && rows == (QStringList{"a", "c"}),
             qPrintable(rows.join(u',') + u'|' + write));
}

// A released session is taken up by the next connection with the same string
// instead of a new login; one the server has dropped while it waited is
// replaced, even when the next connection starts with a write.
void SqlServerTest::releasedSessionsServeTheNextConnection()
{
    FreshDatabase database;
    database.execute({QStringLiteral("create table pooled(id int NOT NULL IDENTITY (1, 1),"
                                     "v varchar(8));")});
    const QString connectionString = database.folder.connectionString();
    db::SessionPool::clear();
    const QString session = firstValue(connectionString, QStringLiteral("SELECT @@SPID"));
    QCOMPARE(firstValue(connectionString, QStringLiteral("SELECT @@SPID")), session);

    // A failed statement leaves the session fit for the next user.
    {
        db::Connection connection(connectionString);
        QVERIFY(!failure([&] {
                     executeOn(connection, QStringLiteral("insert into nosuch values (1)"));
                 }).isEmpty());
    }
    QCOMPARE(firstValue(connectionString, QStringLiteral("SELECT @@SPID")), session);

    killSession(session.toInt());
    {
        db::Connection connection(connectionString);
        executeOn(connection, QStringLiteral("insert into pooled(v) values ('after')"));
    }
    QVERIFY(firstValue(connectionString, QStringLiteral("SELECT @@SPID")) != session);
    QCOMPARE(database.column(QStringLiteral("select v from pooled")), QStringList{"after"});
}

// Whatever the last user left open, the next one finds no transaction and
// the session's usual options.
void SqlServerTest::pooledSessionStartsClean()
{
    FreshDatabase database;
    database.execute({QStringLiteral("create table pooled(id int NOT NULL IDENTITY (1, 1),"
                                     "v varchar(4));")});
    const QString connectionString = database.folder.connectionString();
    db::SessionPool::clear();
    {
        db::Connection connection(connectionString);
        connection.beginTransaction();
        executeOn(connection, QStringLiteral("insert into pooled(v) values ('a')"));
    }
    {
        // A transaction the statements opened themselves, and changed options.
        db::Connection connection(connectionString);
        executeOn(connection,
                  QStringLiteral("BEGIN TRANSACTION;insert into pooled(v) values ('b')"));
        executeOn(connection, QStringLiteral("SET ANSI_WARNINGS OFF"));
    }
    QCOMPARE(firstValue(connectionString, QStringLiteral("SELECT @@TRANCOUNT")),
             QStringLiteral("0"));
    QCOMPARE(database.column(QStringLiteral("select v from pooled")), QStringList());
    db::Connection connection(connectionString);
    QVERIFY(!failure([&] {
                 executeOn(connection,
                           QStringLiteral("insert into pooled(v) values ('long'+'er')"));
             }).isEmpty());
}
