#include "common/FreshConnection.h"

#include "platform/db/Connection.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/SessionPool.h"
#include "platform/db/SqliteEngine.h"
#include "support/TestFolder.h"

#include <QTest>

namespace {

// The sessions open on the folder's database, none of the test's own: the embedded engine counts
// them, a server lists them.
int openConnections(TestFolder& folder)
{
    if (TestDatabase::embedded())
        return db::SqliteEngine::openSessions();
    db::Connection master(TestDatabase::connectionStringTo(QStringLiteral("master")));
    db::Query query(master);
    query.addSql(
        QStringLiteral("SELECT COUNT(*) FROM sys.dm_exec_sessions WHERE is_user_process = 1 "
                       "AND database_id = DB_ID('%1')")
            .arg(folder.database().name()));
    query.open();
    return query.value(0).toInt();
}

// A released session waits idle for the next connection until the idle ones
// are closed.
void releasedSessionWaitsIdle(TestFolder& folder, int before)
{
    QTRY_COMPARE(openConnections(folder), before + 1);
    db::SessionPool::clear();
    QTRY_COMPARE(openConnections(folder), before);
}

int selectOne(FreshConnection& fresh)
{
    fresh.query().addSql(QStringLiteral("select 1 as one"));
    fresh.query().open();
    return fresh.query().value(0).toInt();
}

} // namespace

class FreshConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void connectsAndReleases_data();
    void connectsAndReleases();
    void openConnectsAtOnce();
    void failingConnectionThrowsFromTheConstructor_data();
    void failingConnectionThrowsFromTheConstructor();
};

void FreshConnectionTest::connectsAndReleases_data()
{
    QTest::addColumn<bool>("prepared");
    QTest::newRow("open connects at once") << false;
    QTest::newRow("prepare connects at connect") << true;
}

// Either mode ends connected on the folder's database, and the session is
// released when the connection goes.
void FreshConnectionTest::connectsAndReleases()
{
    QFETCH(bool, prepared);
    TestFolder folder;
    folder.database(); // made first, and the sessions that made it closed
    db::SessionPool::clear();
    // A server lists a closed session a little while after it went.
    QTRY_COMPARE(openConnections(folder), 0);
    const int before = 0;
    {
        FreshConnection fresh(folder.connectionString(), prepared ? FreshConnection::Mode::Prepare
                                                                  : FreshConnection::Mode::Open);
        if (prepared) {
            QVERIFY(!fresh.connection().isConnected());
            if (TestDatabase::embedded()) // its file is made on connecting
                QVERIFY(!QFile::exists(folder.file(QStringLiteral("test.db"))));
            fresh.connect();
        }
        QVERIFY(fresh.connection().isConnected());
        QTRY_COMPARE(openConnections(folder), before + 1);
        QCOMPARE(fresh.connection().connectionString(), folder.connectionString());
        QCOMPARE(selectOne(fresh), 1);
    }
    releasedSessionWaitsIdle(folder, before);
}

void FreshConnectionTest::openConnectsAtOnce()
{
    TestFolder folder;
    FreshConnection fresh(folder.connectionString(QStringLiteral("main")));
    QVERIFY(fresh.connection().isConnected());
    QCOMPARE(fresh.connection().connectionString(),
             folder.connectionString(QStringLiteral("main")));
    QCOMPARE(selectOne(fresh), 1);
}

void FreshConnectionTest::failingConnectionThrowsFromTheConstructor_data()
{
    QTest::addColumn<QString>("connectionString");
    QTest::newRow("database that cannot be opened")
        << TestDatabase::connectionStringTo(TestDatabase::missingName());
    QTest::newRow("server refusing connections")
        << "Provider=SQLOLEDB.1;Initial Catalog=stock;Data Source=127.0.0.1,1;"
           "Password=x;Persist Security Info=True;User ID=sa";
}

void FreshConnectionTest::failingConnectionThrowsFromTheConstructor()
{
    QFETCH(QString, connectionString);
    TestFolder folder;
    folder.database(); // made first, and the sessions that made it closed
    db::SessionPool::clear();
    // A server lists a closed session a little while after it went.
    QTRY_COMPARE(openConnections(folder), 0);
    const int before = 0;
    QVERIFY_THROWS_EXCEPTION(db::DbError,
                             FreshConnection{connectionString, FreshConnection::Mode::Open});
    QTRY_COMPARE(openConnections(folder), before);

    // Prepared, the same string fails only at the step that connects.
    FreshConnection prepared(connectionString, FreshConnection::Mode::Prepare);
    QVERIFY_THROWS_EXCEPTION(db::DbError, prepared.connect());
    QVERIFY(!prepared.connection().isConnected());
}

// A connection that takes longer than half a second shows its progress box.
QTEST_MAIN(FreshConnectionTest)
#include "FreshConnectionTest.moc"
