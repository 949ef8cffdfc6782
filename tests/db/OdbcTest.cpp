// The SQL Server engine where no server is needed: servers that are not there
// or never answer end the attempt with an error that says so and leave
// nothing open; the texts the engine makes for the driver and the operator.

#include "platform/db/Connection.h"
#include "platform/db/OdbcEngine.h"
#include "platform/db/Query.h"
#include "support/Failure.h"
#include "support/SilentServer.h"

#include <QTest>
#include <algorithm>

class OdbcTest : public QObject
{
    Q_OBJECT

private slots:
    void connectFailureMessage_data();
    void connectFailureMessage();
    void closedPortFails();
    void silentServerFails();
    void waitForASilentServerGivenUp();
};

void OdbcTest::connectFailureMessage_data()
{
    QTest::addColumn<QString>("driverText");
    QTest::addColumn<QString>("message");

    const QString loginFailed =
        QStringLiteral("The login to SQL Server db1,1433 failed; the server gave no reason.");
    QTest::newRow("no text") << "" << loginFailed;
    QTest::newRow("blanks") << "  " << loginFailed;
    QTest::newRow("states alone") << ", 28000" << loginFailed;
    QTest::newRow("list of states") << "28000;08001" << loginFailed;
    QTest::newRow("the server's reason, whole")
        << "[FreeTDS][SQL Server]Login failed for user 'sa'. [FreeTDS][SQL Server]Unable to "
           "connect to data source, 28000;08001"
        << "Cannot connect to SQL Server db1,1433: [FreeTDS][SQL Server]Login failed for user "
           "'sa'. [FreeTDS][SQL Server]Unable to connect to data source, 28000;08001";
}

void OdbcTest::connectFailureMessage()
{
    QFETCH(QString, driverText);
    QFETCH(QString, message);
    QCOMPARE(db::connectFailureMessage(QStringLiteral("db1,1433"), driverText), message);
}

void OdbcTest::closedPortFails()
{
    db::Connection connection(
        QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=records;Data Source=127.0.0.1,1;"
                       "Password=x;Persist Security Info=True;User ID=sa"));
    QVERIFY(!connection.isEmbedded());
    const QString error = failure([&] { connection.connect(); });
    // The server as the operator gave it, then the driver's own reason.
    QVERIFY2(error.startsWith(QStringLiteral("Cannot connect to SQL Server 127.0.0.1,1: ")),
             qPrintable(error));
    QVERIFY2(error.size() > 40, qPrintable(error));
    QVERIFY(!connection.isConnected());

    db::Query query(connection);
    query.addSql(QStringLiteral("SELECT 1 FROM fid_user WHERE user_name='root'"));
    QCOMPARE(failure([&] { query.open(); }), error);
    QVERIFY(!query.isOpen());
}

// A server that takes the TCP connection and never answers: the login
// timeout must end the attempt instead of leaving the program waiting.
namespace {

QString connectionStringTo(const SilentServer& server)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=records;Data Source=%1;"
                          "Password=x;Persist Security Info=True;User ID=sa")
        .arg(server.dataSource());
}

} // namespace

void OdbcTest::silentServerFails()
{
    const SilentServer server;
    QVERIFY(server.listening());
    db::Connection connection(connectionStringTo(server));
    const QString error = failure([&] { connection.connect(); });
    QVERIFY2(error.contains(QStringLiteral("Timeout"), Qt::CaseInsensitive), qPrintable(error));
    QVERIFY(!connection.isConnected());
}

// Waiting for such a server can be given up: the attempt stops waiting at
// once and the connection stays unconnected.
void OdbcTest::waitForASilentServerGivenUp()
{
    const SilentServer server;
    QVERIFY(server.listening());
    db::Connection connection(connectionStringTo(server));
    QList<qint64> waited;
    bool cancelled = false;
    try {
        connection.connect([&](qint64 done, qint64 total) {
            waited.append(done);
            return !(total < 0 && done >= 300);
        });
    } catch (const db::Cancelled&) {
        cancelled = true;
    }
    QVERIFY(cancelled);
    QVERIFY(!connection.isConnected());
    QVERIFY(waited.size() >= 2);
    QVERIFY(std::is_sorted(waited.cbegin(), waited.cend()));
}

QTEST_GUILESS_MAIN(OdbcTest)
#include "OdbcTest.moc"
