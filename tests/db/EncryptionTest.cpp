// Sessions with SQL Server as anyone on the office network would see them:
// encrypted from before the login on, refused by a server that cannot
// encrypt, the server's certificate checked against the file of trusted
// certificates, and any password carried as typed.

#include "common/EngineMessage.h"
#include "platform/db/Connection.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/OdbcEngine.h"
#include "platform/db/OdbcStatement.h"
#include "platform/db/Query.h"
#include "platform/db/SessionPool.h"
#include "signin/Settings.h"
#include "support/Failure.h"
#include "support/RecordingRelay.h"
#include "support/TestDatabase.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QStringEncoder>
#include <QTest>
#include <QThread>
#include <memory>
#include <sqlext.h>

namespace {

// A password as a LOGIN7 packet carries it: UTF-16LE, each byte's halves
// swapped and XORed with 0xA5. Anyone who reads it can undo that.
QByteArray asLoginCarriesIt(const QString& password)
{
    QByteArray bytes(reinterpret_cast<const char*>(password.utf16()), password.size() * 2);
    for (char& byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        byte = static_cast<char>((((b & 0x0f) << 4) | (b >> 4)) ^ 0xa5);
    }
    return bytes;
}

QList<QByteArray> encodings(const QString& text)
{
    QStringEncoder gbk("GBK");
    return {text.toUtf8(), QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2),
            QByteArray(gbk(text))};
}

// The type of every TDS packet in a stream of packets sent one after another.
QList<int> packetTypes(const QByteArray& stream)
{
    QList<int> types;
    qsizetype at = 0;
    while (at + 8 <= stream.size()) {
        types.append(static_cast<unsigned char>(stream[at]));
        const int length = (static_cast<unsigned char>(stream[at + 2]) << 8) |
                           static_cast<unsigned char>(stream[at + 3]);
        if (length < 8)
            break;
        at += length;
    }
    return types;
}

db::ConnectionStringParts serverParts(const QString& connectionString)
{
    return db::parseConnectionString(connectionString);
}

QString quoted(const QString& text)
{
    return u'\'' + QString(text).replace(u'\'', QStringLiteral("''")) + u'\'';
}

} // namespace

class EncryptionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void nothingInClearOnTheWire();
    void plainServerRefusedBeforeLogin();
    void relaySeesAClientInClear();
    void certificateFile_data();
    void certificateFile();
    void anyPassword_data();
    void anyPassword();

private:
    QString connectionThrough(const QString& dataSource) const;

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<TestDatabase> m_database;
};

void EncryptionTest::initTestCase()
{
    m_folder = std::make_unique<TestFolder>();
    m_database = std::make_unique<TestDatabase>(QStringLiteral("encryption"));
}

void EncryptionTest::cleanup()
{
    db::setTrustedCertificatesFile(QString());
    db::SessionPool::clear();
}

QString EncryptionTest::connectionThrough(const QString& dataSource) const
{
    return BuildConnectionString(dataSource, m_database->name(), m_database->user(),
                                 m_database->password());
}

void EncryptionTest::nothingInClearOnTheWire()
{
    const db::ServerAddress server = db::serverAddress(m_database->host());
    RecordingRelay relay(server.host, server.port);
    QVERIFY(relay.listening());
    const QString record = QStringLiteral("机密记录 Confidential-7f3a");
    {
        db::Connection connection(connectionThrough(relay.dataSource()));
        db::Query query(connection);
        query.setSql(QStringLiteral("CREATE TABLE wire_check (v nvarchar(100))"));
        query.execute();
        query.setSql(QStringLiteral("INSERT INTO wire_check (v) VALUES (N%1)").arg(quoted(record)));
        query.execute();
        query.setSql(QStringLiteral("SELECT v FROM wire_check"));
        query.open();
        QCOMPARE(query.text(0), record);
    }
    db::SessionPool::clear();
    const QByteArray fromClient = relay.fromClient();
    const QByteArray fromServer = relay.fromServer();
    QVERIFY(fromClient.size() > 100 && fromServer.size() > 100);
    QVERIFY(!fromClient.contains(asLoginCarriesIt(m_database->password())));
    QVERIFY(!fromClient.contains(m_database->password().toUtf8()));
    for (const QByteArray& text : encodings(record)) {
        QVERIFY(!fromClient.contains(text));
        QVERIFY(!fromServer.contains(text));
    }
}

void EncryptionTest::plainServerRefusedBeforeLogin()
{
    const QString plain = qEnvironmentVariable("VARDENIX_MSSQL_PLAIN");
    if (plain.isEmpty())
        QSKIP("VARDENIX_MSSQL_PLAIN names no server without encryption");
    const db::ConnectionStringParts parts = serverParts(plain);
    const db::ServerAddress server = db::serverAddress(parts.dataSource);
    RecordingRelay relay(server.host, server.port);
    QVERIFY(relay.listening());

    db::Connection connection(BuildConnectionString(relay.dataSource(), parts.initialCatalog,
                                                    parts.userId, parts.password));
    const QString error = failure([&] { connection.connect(); });
    QVERIFY2(EngineMessage::classify(error).failure == EngineMessage::Failure::ServerNotEncrypting,
             qPrintable(error));
    QVERIFY(EngineMessage::forOperator(error).contains(QStringLiteral("强制加密")));

    // Only the protocol's first message, which carries no login, went out.
    const QByteArray fromClient = relay.fromClient();
    QVERIFY(!fromClient.isEmpty());
    for (const int type : packetTypes(fromClient))
        QCOMPARE(type, 0x12);
    QVERIFY(!fromClient.contains(asLoginCarriesIt(parts.password)));
}

// The relay reads what a client that runs in clear sends: the checks above
// would see a login or a record if one crossed.
void EncryptionTest::relaySeesAClientInClear()
{
    const QString plain = qEnvironmentVariable("VARDENIX_MSSQL_PLAIN");
    if (plain.isEmpty())
        QSKIP("VARDENIX_MSSQL_PLAIN names no server without encryption");
    db::ConnectionStringParts parts = serverParts(plain);
    const db::ServerAddress server = db::serverAddress(parts.dataSource);
    RecordingRelay relay(server.host, server.port);
    parts.dataSource = relay.dataSource();
    const QString record = QStringLiteral("Confidential-7f3a");
    QString odbc = db::odbcConnectionString(parts);
    odbc.replace(QStringLiteral("Encryption=require"), QStringLiteral("Encryption=off"));

    SQLHDBC handle = SQL_NULL_HDBC;
    QVERIFY(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, db::odbc::environment(), &handle)));
    const auto freeHandle = qScopeGuard([&] {
        SQLDisconnect(handle);
        SQLFreeHandle(SQL_HANDLE_DBC, handle);
    });
    QVERIFY(SQL_SUCCEEDED(SQLDriverConnectW(handle, nullptr, db::odbc::wide(odbc),
                                            SQLSMALLINT(odbc.size()), nullptr, 0, nullptr,
                                            SQL_DRIVER_NOPROMPT)));
    SQLHSTMT statement = SQL_NULL_HSTMT;
    QVERIFY(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, handle, &statement)));
    const QString select = QStringLiteral("SELECT N'%1'").arg(record);
    QVERIFY(SQL_SUCCEEDED(
        SQLExecDirectW(statement, db::odbc::wide(select), SQLINTEGER(select.size()))));
    QVERIFY(SQL_SUCCEEDED(SQLFetch(statement)));
    SQLFreeHandle(SQL_HANDLE_STMT, statement);

    QVERIFY(relay.fromClient().contains(asLoginCarriesIt(parts.password)));
    QVERIFY(relay.fromServer().contains(encodings(record).at(1)));
}

void EncryptionTest::certificateFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("connects");

    const QString own = qEnvironmentVariable("VARDENIX_MSSQL_CA");
    if (!own.isEmpty())
        QTest::newRow("the server's own certificate") << own << true;
    QTest::newRow("no file beside the program") << QString() << true;
    QTest::newRow("the system's authorities, not the server's")
        << QStringLiteral("/etc/ssl/certs/ca-certificates.crt") << false;
    QTest::newRow("a file without a certificate") << QStringLiteral("(text)") << false;
}

void EncryptionTest::certificateFile()
{
    QFETCH(QString, file);
    QFETCH(bool, connects);
    if (file == u"(text)") {
        file = m_folder->file(QStringLiteral("sqlserver-ca.pem"));
        QFile text(file);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a certificate\n");
    }
    if (!file.isEmpty() && !QFile::exists(file))
        QSKIP("the certificate file is missing on this machine");
    db::setTrustedCertificatesFile(file);

    db::Connection connection(m_database->connectionString());
    const QString error = failure([&] { connection.connect(); });
    if (connects) {
        QVERIFY2(error.isEmpty(), qPrintable(error));
        return;
    }
    QVERIFY2(EngineMessage::classify(error).failure == EngineMessage::Failure::ServerNotTrusted,
             qPrintable(error));
    QVERIFY(EngineMessage::forOperator(error).contains(QStringLiteral("sqlserver-ca.pem")));
}

void EncryptionTest::anyPassword_data()
{
    QTest::addColumn<QString>("password");

    QTest::newRow("semicolon") << "a;b";
    QTest::newRow("braces") << "{a}}b}";
    QTest::newRow("brace and semicolon") << "x};y";
    QTest::newRow("equals") << "k=v";
    QTest::newRow("blanks around and inside") << " a b ";
    QTest::newRow("quotes") << "\"q'";
    QTest::newRow("Chinese") << "密码中文";
    QTest::newRow("a key of its own") << "x;Data Source=203.0.113.9";
}

void EncryptionTest::anyPassword()
{
    QFETCH(QString, password);
    // Logins belong to the whole server: the name is this run's own.
    static int made = 0;
    const QString login =
        QStringLiteral("vardenix_pw_%1_%2").arg(QCoreApplication::applicationPid()).arg(++made);
    const QString host = m_database->host();
    db::Connection admin(TestDatabase::connectionStringTo(QStringLiteral("master")));
    db::Query query(admin);
    query.setSql(
        QStringLiteral("CREATE LOGIN %1 WITH PASSWORD = N%2").arg(login, quoted(password)));
    query.execute();
    // The server may still count the login's session as open for a moment.
    const auto dropLogin = qScopeGuard([&] {
        db::SessionPool::clear();
        query.setSql(QStringLiteral("DROP LOGIN %1").arg(login));
        for (int attempt = 0; !failure([&] { query.execute(); }).isEmpty() && attempt < 20;
             ++attempt)
            QThread::msleep(100);
    });

    const QString wrong = failure([&] {
        db::Connection connection(
            BuildConnectionString(host, QStringLiteral("master"), login, password + u'x'));
        connection.connect();
    });
    if (wrong.isEmpty())
        QSKIP("this server takes any password from this address, so it cannot tell");
    db::Connection connection(
        BuildConnectionString(host, QStringLiteral("master"), login, password));
    const QString error = failure([&] { connection.connect(); });
    QVERIFY2(error.isEmpty(), qPrintable(error));
    // The value reached no other key: the session runs on the given server.
    QCOMPARE(db::parseConnectionString(connection.connectionString()).dataSource, host);
}

QTEST_GUILESS_MAIN(EncryptionTest)
#include "EncryptionTest.moc"
