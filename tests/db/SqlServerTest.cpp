// The SQL Server engine. Reaching a server that is not there runs always; the
// rest runs against the server named by VARDENIX_MSSQL, a connection string in
// the program's format whose login may create and drop databases.

#include "EmbeddedDatabase.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/DbError.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using db::DbError;

namespace {

template <typename Call> QString failure(Call call)
{
    try {
        call();
    } catch (const DbError& error) {
        return error.message().isEmpty() ? QStringLiteral("(empty message)") : error.message();
    }
    return QString();
}

QString connectionString(const db::ConnectionStringParts& parts)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=%1;Data Source=%2;Password=%3;"
                          "Persist Security Info=True;User ID=%4")
        .arg(parts.initialCatalog, parts.dataSource, parts.password, parts.userId);
}

void run(db::Connection& connection, const QStringList& lines)
{
    db::Query query(connection);
    for (const QString& line : lines)
        query.addSql(line);
    query.execute();
}

QStringList column(db::Connection& connection, const QString& statement)
{
    db::Query query(connection);
    query.addSql(statement);
    query.open();
    QStringList texts;
    for (; !query.eof(); query.next())
        texts.append(query.text(0));
    return texts;
}

QStringList ids(int first, int last)
{
    QStringList list;
    for (int id = first; id <= last; ++id)
        list.append(QString::number(id));
    return list;
}

} // namespace

class OdbcConnectTest : public QObject
{
    Q_OBJECT

private slots:
    void closedPortFails();
    void silentServerFails();
};

void OdbcConnectTest::closedPortFails()
{
    db::Connection connection(
        QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=records;Data Source=127.0.0.1,1;"
                       "Password=x;Persist Security Info=True;User ID=sa"));
    const QString error = failure([&] { connection.connect(); });
    QVERIFY2(error.contains(QStringLiteral("127.0.0.1,1")), qPrintable(error));
    QVERIFY(!connection.isConnected());

    db::Query query(connection);
    query.addSql(QStringLiteral("SELECT 1 FROM fid_user WHERE user_name='root'"));
    QVERIFY(!failure([&] { query.open(); }).isEmpty());
    QVERIFY(!query.isOpen());
}

// A server that takes the TCP connection and never answers: the login
// timeout must end the attempt instead of leaving the program waiting.
void OdbcConnectTest::silentServerFails()
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(listener >= 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QVERIFY(bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0);
    QVERIFY(listen(listener, 4) == 0);
    QVERIFY(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0);

    db::Connection connection(
        QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=records;Data Source=127.0.0.1,%1;"
                       "Password=x;Persist Security Info=True;User ID=sa")
            .arg(ntohs(address.sin_port)));
    const QString error = failure([&] { connection.connect(); });
    ::close(listener);
    QVERIFY2(error.contains(QStringLiteral("Timeout"), Qt::CaseInsensitive), qPrintable(error));
    QVERIFY(!connection.isConnected());
}

class SqlServerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void wrongPasswordFails();
    void failingStatementCarriesTheServerMessage();
    void firstRunAndCatalogue();
    void pagingAndCounting();
    void blobRoundTrip_data();
    void blobRoundTrip();
    void failingLaterStatementUndoesTheBatch();
    void posting();

private:
    db::ConnectionStringParts m_server;
    QString m_database;
    QString m_connectionString;
};

void SqlServerTest::initTestCase()
{
    const QString server = qEnvironmentVariable("VARDENIX_MSSQL");
    if (server.isEmpty())
        QSKIP("VARDENIX_MSSQL not set: SQL Server run skipped");
    m_server = db::parseConnectionString(server);
    m_database = QStringLiteral("vardenix_test_%1_%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(QDateTime::currentMSecsSinceEpoch());
    db::Connection admin(server);
    // The program's users keep Chinese text in varchar, which needs code page 936.
    run(admin, {QStringLiteral("CREATE DATABASE [%1] COLLATE Chinese_PRC_CI_AS").arg(m_database)});
    db::ConnectionStringParts parts = m_server;
    parts.initialCatalog = m_database;
    m_connectionString = connectionString(parts);
}

void SqlServerTest::cleanupTestCase()
{
    if (m_database.isEmpty())
        return;
    db::Connection admin(connectionString(m_server));
    run(admin, {QStringLiteral("ALTER DATABASE [%1] SET SINGLE_USER WITH ROLLBACK IMMEDIATE")
                    .arg(m_database)});
    run(admin, {QStringLiteral("DROP DATABASE [%1]").arg(m_database)});
}

void SqlServerTest::wrongPasswordFails()
{
    db::ConnectionStringParts parts = db::parseConnectionString(m_connectionString);
    parts.password += QStringLiteral("-wrong");
    db::Connection connection(connectionString(parts));
    const QString error = failure([&] { connection.connect(); });
    QVERIFY2(error.contains(QStringLiteral("login"), Qt::CaseInsensitive), qPrintable(error));
    QVERIFY(!connection.isConnected());
}

void SqlServerTest::failingStatementCarriesTheServerMessage()
{
    db::Connection connection(m_connectionString);
    const QString error =
        failure([&] { column(connection, QStringLiteral("select id from no_such_table")); });
    QVERIFY2(error.contains(QStringLiteral("no_such_table")), qPrintable(error));
}

void SqlServerTest::firstRunAndCatalogue()
{
    db::Connection connection(m_connectionString);
    const QString probe = QStringLiteral("SELECT 1 FROM fid_user WHERE user_name='root'");
    QVERIFY(!failure([&] { column(connection, probe); }).isEmpty());
    run(connection, standardFirstRun());
    QCOMPARE(column(connection, probe), QStringList{QStringLiteral("1")});
    QCOMPARE(column(connection, QStringLiteral("SELECT * FROM fid_title where clength>0")),
             ids(1, 5));
    db::Query query(connection);
    query.addSql(QStringLiteral("SELECT * FROM fid_title where clength>0"));
    query.open();
    QCOMPARE(query.text(QStringLiteral("title")), QStringLiteral("名称"));
    QCOMPARE(query.text(QStringLiteral("cLength")), QStringLiteral("20"));
    QCOMPARE(column(connection, QStringLiteral("select id,user_alias,user_wr from fid_user where "
                                               "user_name='root'")),
             QStringList{QStringLiteral("1")});
    QCOMPARE(column(connection,
                    QStringLiteral("select parameter from fid_set where options='pagesize'")),
             QStringList{QStringLiteral("50")});
}

void SqlServerTest::pagingAndCounting()
{
    db::Connection connection(m_connectionString);
    run(connection, {QStringLiteral("create table paging(id int NOT NULL IDENTITY (1, 1),"
                                    "f_1 varchar(20),f_2 int,f_3 float);")});
    QStringList inserts;
    for (int i = 1; i <= 160; ++i)
        inserts.append(QStringLiteral("insert into paging(f_1,f_2,f_3) values ('abc%1',%1,%2);")
                           .arg(i)
                           .arg(i / 4.0));
    run(connection, inserts);

    const QString head = QStringLiteral("SELECT TOP 50 id,f_1,f_2,f_3 FROM paging ");
    const QString all = QStringLiteral("WHERE (1=1)");
    QCOMPARE(column(connection, head + all + QStringLiteral(" ORDER BY id ")), ids(1, 50));
    QCOMPARE(column(connection,
                    head + all +
                        QStringLiteral(" AND (ID >(SELECT MAX(id) FROM (SELECT TOP 100 id  FROM "
                                       "paging WHERE (1=1) ORDER BY id) AS T))   ORDER BY id ")),
             ids(101, 150));
    db::Query count(connection);
    count.addSql(QStringLiteral("select id from  paging WHERE (1=1)"));
    QCOMPARE(count.countRows(), 160);
    count.clearSql();
    count.addSql(QStringLiteral("select id from  paging where f_1 like '%ABC1_%'"));
    QCOMPARE(count.countRows(), 71);
}

void SqlServerTest::blobRoundTrip_data()
{
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<bool>("fromFile");
    for (const qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(70 * 1024),
                                 qsizetype(5 * 1024 * 1024), qsizetype(20 * 1024 * 1024)}) {
        QTest::addRow("%lld bytes from a buffer", static_cast<long long>(size)) << size << false;
        QTest::addRow("%lld bytes from a file", static_cast<long long>(size)) << size << true;
    }
}

void SqlServerTest::blobRoundTrip()
{
    QFETCH(qsizetype, size);
    QFETCH(bool, fromFile);

    TestFolder folder;
    db::Connection connection(m_connectionString);
    run(connection, {QStringLiteral("if object_id('blobs') is null create table blobs("
                                    "id int NOT NULL IDENTITY (1, 1),doc image);"),
                     QStringLiteral("delete from blobs;"),
                     QStringLiteral("insert into blobs(doc) values (NULL);")});
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7919) % 256);

    db::Query query(connection);
    query.addSql(QStringLiteral("update blobs set doc=:file;"));
    if (fromFile) {
        QFile file(folder.file(QStringLiteral("source.bin")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        query.loadFileParameter(file.fileName());
    } else {
        query.setFileParameter(bytes);
    }
    query.execute();

    query.clearSql();
    query.addSql(QStringLiteral("select doc from  blobs"));
    query.open();
    QVERIFY(query.bytes(QStringLiteral("doc")) == bytes);
    const QString target = folder.file(QStringLiteral("target.bin"));
    query.saveBytesToFile(QStringLiteral("doc"), target);
    QFile written(target);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll() == bytes);
}

void SqlServerTest::failingLaterStatementUndoesTheBatch()
{
    db::Connection connection(m_connectionString);
    run(connection, {QStringLiteral("create table batch(id int NOT NULL IDENTITY (1, 1),"
                                    "v varchar(4));"),
                     QStringLiteral("insert into batch(v) values ('a');")});
    // The second statement fails when it runs, after the first has run.
    QVERIFY(!failure([&] {
                 run(connection, {QStringLiteral("update batch set v='b';"),
                                  QStringLiteral("insert into batch(v) values ('too long');")});
             }).isEmpty());
    QCOMPARE(column(connection, QStringLiteral("select v from batch")),
             QStringList{QStringLiteral("a")});
}

void SqlServerTest::posting()
{
    db::Connection connection(m_connectionString);
    run(connection, {QStringLiteral("create table posting(id int NOT NULL IDENTITY (1, 1),"
                                    "f_1 varchar(20),f_2 int,f_3 float);"),
                     QStringLiteral("insert into posting(f_1) values ('first');")});
    db::Query query(connection);
    query.addSql(QStringLiteral("SELECT TOP 50 id,f_1,f_2,f_3 FROM posting WHERE (1=1) "
                                "ORDER BY id "));
    query.open();
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
    query.deleteCurrentRow();

    QCOMPARE(column(connection, QStringLiteral("select id from posting")),
             QStringList{QStringLiteral("1")});
    QCOMPARE(column(connection, QStringLiteral("select f_3 from posting where f_1 is null")),
             QStringList{QStringLiteral("2.5")});
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    OdbcConnectTest connect;
    SqlServerTest server;
    const int failed = QTest::qExec(&connect, argc, argv);
    return failed + QTest::qExec(&server, argc, argv);
}

#include "SqlServerTest.moc"
