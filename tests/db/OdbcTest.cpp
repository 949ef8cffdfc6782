// The SQL Server engine where no server is needed: servers that are not there
// or never answer end the attempt with an error that says so and leave
// nothing open; the texts the engine makes for the driver and the operator.

#include "platform/db/Connection.h"
#include "platform/db/DbError.h"
#include "platform/db/OdbcEngine.h"
#include "platform/db/Query.h"

#include <QSqlDatabase>
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

} // namespace

class OdbcTest : public QObject
{
    Q_OBJECT

private slots:
    void inlineTextParameters_data();
    void inlineTextParameters();
    void connectFailureMessage_data();
    void connectFailureMessage();
    void closedPortFails();
    void silentServerFails();
};

void OdbcTest::inlineTextParameters_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QVariantList>("bound");

    const QByteArray bytes("\x00\x01'?", 4);
    QTest::newRow("insert of texts and numbers")
        << "INSERT INTO fid_Main ([f_1],[f_2],[f_3]) VALUES (?,?,?);SELECT 1"
        << QVariantList{QStringLiteral("新记录"), QStringLiteral("42"), 2.5}
        << "INSERT INTO fid_Main ([f_1],[f_2],[f_3]) VALUES (N'新记录',N'42',?);SELECT 1"
        << QVariantList{2.5};
    QTest::newRow("quotes doubled")
        << "UPDATE t SET [a]=? WHERE [id]=?" << QVariantList{QStringLiteral("O'Brien'--"), 7}
        << "UPDATE t SET [a]=N'O''Brien''--' WHERE [id]=?" << QVariantList{7};
    QTest::newRow("markers in names and values stay")
        << "UPDATE [t?] SET [a?]=?,[b]=? WHERE [id]=?"
        << QVariantList{QStringLiteral("?"), bytes, QVariant(qlonglong(3))}
        << "UPDATE [t?] SET [a?]=N'?',[b]=? WHERE [id]=?"
        << QVariantList{bytes, QVariant(qlonglong(3))};
    QTest::newRow("empty text is a text") << "UPDATE t SET [a]=?" << QVariantList{QString("")}
                                          << "UPDATE t SET [a]=N''" << QVariantList{};
    QTest::newRow("NULL text stays a parameter")
        << "UPDATE t SET [a]=?" << QVariantList{QVariant(QMetaType::fromType<QString>())}
        << "UPDATE t SET [a]=?" << QVariantList{QVariant(QMetaType::fromType<QString>())};
    QTest::newRow("no markers") << "DELETE FROM t" << QVariantList{} << "DELETE FROM t"
                                << QVariantList{};
}

void OdbcTest::inlineTextParameters()
{
    QFETCH(QString, statement);
    QFETCH(QVariantList, values);
    QFETCH(QString, sent);
    QFETCH(QVariantList, bound);
    QVariantList given = values;
    QCOMPARE(db::inlineTextParameters(statement, given), sent);
    QCOMPARE(given, bound);

    // A statement whose markers and values differ in number is refused.
    QVariantList oneTooMany = values;
    oneTooMany.append(1);
    QVERIFY(!failure([&] { db::inlineTextParameters(statement, oneTooMany); }).isEmpty());
}

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
    QVERIFY(QSqlDatabase::connectionNames().isEmpty());

    db::Query query(connection);
    query.addSql(QStringLiteral("SELECT 1 FROM fid_user WHERE user_name='root'"));
    QCOMPARE(failure([&] { query.open(); }), error);
    QVERIFY(!query.isOpen());
    QVERIFY(QSqlDatabase::connectionNames().isEmpty());
}

// A server that takes the TCP connection and never answers: the login
// timeout must end the attempt instead of leaving the program waiting.
void OdbcTest::silentServerFails()
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
    QVERIFY(QSqlDatabase::connectionNames().isEmpty());
}

QTEST_GUILESS_MAIN(OdbcTest)
#include "OdbcTest.moc"
