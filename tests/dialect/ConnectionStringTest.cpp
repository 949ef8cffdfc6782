#include "platform/db/ConnectionString.h"

#include <QMap>
#include <QTest>

using db::ConnectionStringParts;

namespace {

const QString ProgramString =
    QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=stock;Data Source=127.0.0.1;Password=;"
                   "Persist Security Info=True;User ID=sa");

ConnectionStringParts parts(const QString& dataSource, const QString& database, const QString& user,
                            const QString& password)
{
    ConnectionStringParts result;
    result.provider = QStringLiteral("SQLOLEDB.1");
    result.dataSource = dataSource;
    result.initialCatalog = database;
    result.userId = user;
    result.password = password;
    return result;
}

// Reads an ODBC connection string the way unixODBC and the FreeTDS driver do:
// "key=value" pairs split at ";", a value in braces runs to the "}" that is
// not doubled, and "}}" inside it stands for "}". Keys in upper case.
QMap<QString, QString> readOdbc(const QString& text)
{
    QMap<QString, QString> attributes;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype equals = text.indexOf(u'=', i);
        if (equals < 0)
            break;
        const QString key = text.mid(i, equals - i).toUpper();
        QString value;
        i = equals + 1;
        if (i < text.size() && text[i] == u'{') {
            ++i;
            while (i < text.size()) {
                if (text[i] == u'}') {
                    if (i + 1 < text.size() && text[i + 1] == u'}') {
                        value += u'}';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i++];
            }
        } else {
            const qsizetype end = text.indexOf(u';', i);
            value = text.mid(i, end < 0 ? -1 : end - i);
            i = end < 0 ? text.size() : end;
        }
        attributes.insert(key, value);
        if (i < text.size() && text[i] == u';')
            ++i;
    }
    return attributes;
}

} // namespace

class ConnectionStringTest : public QObject
{
    Q_OBJECT

private slots:
    void parsesParts_data();
    void parsesParts();
    void recognisesEmbeddedSource_data();
    void recognisesEmbeddedSource();
    void buildsOdbcString_data();
    void buildsOdbcString();
    void odbcValuesReadBackUnchanged_data();
    void odbcValuesReadBackUnchanged();
    void programStringReachesSameServer();
    void quotedValuesReadBack_data();
    void quotedValuesReadBack();
};

void ConnectionStringTest::parsesParts_data()
{
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("dataSource");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");

    QTest::newRow("program's format") << ProgramString << "SQLOLEDB.1"
                                      << "stock"
                                      << "127.0.0.1"
                                      << "sa"
                                      << "";
    QTest::newRow("port and instance kept in the source")
        << "Provider=SQLOLEDB.1;Initial Catalog=db;Data Source=srv\\SQLEXPRESS,1500;"
           "Password=pw;Persist Security Info=True;User ID=u"
        << "SQLOLEDB.1"
        << "db"
        << "srv\\SQLEXPRESS,1500"
        << "u"
        << "pw";
    QTest::newRow("keys in any letter case and spacing")
        << "PROVIDER=SQLOLEDB.1; initial catalog =Stock;DATA  SOURCE=(LocalDB);"
           "password=Pw;persist security info=True;USER ID=Sa"
        << "SQLOLEDB.1"
        << "Stock"
        << "(LocalDB)"
        << "Sa"
        << "Pw";
    QTest::newRow("values verbatim, blanks and '=' included")
        << "Initial Catalog= my db ;Data Source=host;Password=a=b c ;User ID= sa"
        << ""
        << " my db "
        << "host"
        << " sa"
        << "a=b c ";
    QTest::newRow("Chinese values")
        << "Initial Catalog=库存;Data Source=h;Password=密码;User ID=管理"
        << ""
        << "库存"
        << "h"
        << "管理"
        << "密码";
    QTest::newRow("SQL Server's other key names") << "Server=h,1500;Database=d;UID=u;PWD=p"
                                                  << ""
                                                  << "d"
                                                  << "h,1500"
                                                  << "u"
                                                  << "p";
    QTest::newRow("later key wins, stray items ignored")
        << "garbage;Data Source=a;;Data Source=b;Unknown=x"
        << ""
        << ""
        << "b"
        << ""
        << "";
    QTest::newRow("empty") << ""
                           << ""
                           << ""
                           << ""
                           << ""
                           << "";
}

void ConnectionStringTest::parsesParts()
{
    QFETCH(QString, connectionString);
    const ConnectionStringParts parsed = db::parseConnectionString(connectionString);
    QTEST(parsed.provider, "provider");
    QTEST(parsed.initialCatalog, "database");
    QTEST(parsed.dataSource, "dataSource");
    QTEST(parsed.userId, "user");
    QTEST(parsed.password, "password");
}

void ConnectionStringTest::recognisesEmbeddedSource_data()
{
    QTest::addColumn<QString>("dataSource");
    QTest::addColumn<bool>("embedded");

    QTest::newRow("lower case") << "(localdb)" << true;
    QTest::newRow("mixed case") << "(LocalDB)" << true;
    QTest::newRow("upper case with blanks") << "  (LOCALDB) " << true;
    QTest::newRow("address") << "127.0.0.1" << false;
    QTest::newRow("localhost") << "localhost" << false;
    QTest::newRow("without parentheses") << "localdb" << false;
    QTest::newRow("empty") << "" << false;
}

void ConnectionStringTest::recognisesEmbeddedSource()
{
    QFETCH(QString, dataSource);
    QTEST(db::isEmbeddedDataSource(dataSource), "embedded");
}

void ConnectionStringTest::buildsOdbcString_data()
{
    QTest::addColumn<QString>("dataSource");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("odbc");

    const QString tail = QStringLiteral(";TDS_Version=7.4;ClientCharset=UTF-8;Encryption=require");
    QTest::newRow("host, default port, empty password")
        << "127.0.0.1"
        << "stock"
        << "sa"
        << ""
        << "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=1433;DATABASE=stock;UID=sa;PWD=" + tail;
    QTest::newRow("host and port")
        << "db.example.com,1500"
        << "stock"
        << "sa"
        << "pw"
        << "DRIVER={FreeTDS};SERVER=db.example.com;PORT=1500;DATABASE=stock;UID=sa;PWD=pw" + tail;
    QTest::newRow("blanks around host and port")
        << " db.example.com , 1500 "
        << "stock"
        << "sa"
        << "pw"
        << "DRIVER={FreeTDS};SERVER=db.example.com;PORT=1500;DATABASE=stock;UID=sa;PWD=pw" + tail;
    QTest::newRow("named instance, no port")
        << "srv\\SQLEXPRESS"
        << "stock"
        << "sa"
        << "pw"
        << "DRIVER={FreeTDS};SERVER=srv\\SQLEXPRESS;DATABASE=stock;UID=sa;PWD=pw" + tail;
    QTest::newRow("instance and port: the port decides")
        << "srv\\SQLEXPRESS,1500"
        << "stock"
        << "sa"
        << "pw"
        << "DRIVER={FreeTDS};SERVER=srv;PORT=1500;DATABASE=stock;UID=sa;PWD=pw" + tail;
    QTest::newRow("this machine as SQL Server writes it")
        << "."
        << "stock"
        << "sa"
        << "pw"
        << "DRIVER={FreeTDS};SERVER=localhost;PORT=1433;DATABASE=stock;UID=sa;PWD=pw" + tail;
    QTest::newRow("(local) with an instance")
        << "(local)\\SQLEXPRESS"
        << "stock"
        << "sa"
        << "pw"
        << "DRIVER={FreeTDS};SERVER=localhost\\SQLEXPRESS;DATABASE=stock;UID=sa;PWD=pw" + tail;
    QTest::newRow("malformed port stays in the server name")
        << "host,abc"
        << "stock"
        << "sa"
        << "pw"
        << "DRIVER={FreeTDS};SERVER=host,abc;PORT=1433;DATABASE=stock;UID=sa;PWD=pw" + tail;
    QTest::newRow("port out of range stays in the server name")
        << "host,70000"
        << "stock"
        << "sa"
        << "pw"
        << "DRIVER={FreeTDS};SERVER=host,70000;PORT=1433;DATABASE=stock;UID=sa;PWD=pw" + tail;
    QTest::newRow("values with blanks, semicolons and braces")
        << "host"
        << "my db"
        << "a;b"
        << "p}w{"
        << "DRIVER={FreeTDS};SERVER=host;PORT=1433;DATABASE={my db};UID={a;b};PWD={p}}w{}" + tail;
    QTest::newRow("password that tries to add an attribute")
        << "host"
        << "stock"
        << "sa"
        << "x;UID=admin"
        << "DRIVER={FreeTDS};SERVER=host;PORT=1433;DATABASE=stock;UID=sa;PWD={x;UID=admin}" + tail;
    QTest::newRow("Chinese values need no braces")
        << "host"
        << "库存"
        << "管理"
        << "密码"
        << "DRIVER={FreeTDS};SERVER=host;PORT=1433;DATABASE=库存;UID=管理;PWD=密码" + tail;
}

void ConnectionStringTest::buildsOdbcString()
{
    QFETCH(QString, dataSource);
    QFETCH(QString, database);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QTEST(db::odbcConnectionString(parts(dataSource, database, user, password)), "odbc");
}

void ConnectionStringTest::odbcValuesReadBackUnchanged_data()
{
    QTest::addColumn<QString>("value");

    QTest::newRow("semicolon") << "a;b";
    QTest::newRow("closing brace then semicolon") << "x};PWD=y";
    QTest::newRow("doubled braces") << "}}{{";
    QTest::newRow("leading and trailing blanks") << "  pw  ";
    QTest::newRow("equals sign") << "a=b";
    QTest::newRow("empty") << "";
}

void ConnectionStringTest::odbcValuesReadBackUnchanged()
{
    QFETCH(QString, value);
    const QMap<QString, QString> read =
        readOdbc(db::odbcConnectionString(parts(QStringLiteral("host"), value, value, value)));
    QCOMPARE(read.value(QStringLiteral("DATABASE")), value);
    QCOMPARE(read.value(QStringLiteral("UID")), value);
    QCOMPARE(read.value(QStringLiteral("PWD")), value);
    QCOMPARE(read.value(QStringLiteral("SERVER")), QStringLiteral("host"));
    QCOMPARE(read.value(QStringLiteral("PORT")), QStringLiteral("1433"));
    QCOMPARE(read.value(QStringLiteral("CLIENTCHARSET")), QStringLiteral("UTF-8"));
    QCOMPARE(read.value(QStringLiteral("ENCRYPTION")), QStringLiteral("require"));
    QCOMPARE(read.size(), 9);
}

void ConnectionStringTest::programStringReachesSameServer()
{
    const ConnectionStringParts parsed = db::parseConnectionString(ProgramString);
    QVERIFY(!db::isEmbeddedDataSource(parsed.dataSource));
    QCOMPARE(db::odbcConnectionString(parsed),
             QStringLiteral("DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=1433;DATABASE=stock;UID=sa;"
                            "PWD=;TDS_Version=7.4;ClientCharset=UTF-8;Encryption=require"));
}

void ConnectionStringTest::quotedValuesReadBack_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("quoted");

    QTest::newRow("ordinary") << "pw" << false;
    QTest::newRow("equals sign alone") << "a=b" << false;
    QTest::newRow("blanks and Chinese") << " 密 码 " << false;
    QTest::newRow("semicolon") << "a;b" << true;
    QTest::newRow("a key of its own") << "x;Data Source=203.0.113.9" << true;
    QTest::newRow("starts with a double quote") << "\"x" << true;
    QTest::newRow("starts with a single quote") << "'x" << true;
    QTest::newRow("quotes inside") << "a\"b'c;" << true;
    QTest::newRow("braces") << "{a};}" << true;
    QTest::newRow("quote then semicolon") << "\";User ID=root" << true;
    QTest::newRow("empty") << "" << false;
}

// Every part of a program string built from quoted values reads back as
// given, and no value adds or replaces a key.
void ConnectionStringTest::quotedValuesReadBack()
{
    QFETCH(QString, value);
    QFETCH(bool, quoted);
    QCOMPARE(db::quotedValue(value) != value, quoted);
    const QString text =
        QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=") + db::quotedValue(value) +
        QStringLiteral(";Data Source=host;Password=") + db::quotedValue(value) +
        QStringLiteral(";Persist Security Info=True;User ID=") + db::quotedValue(value);
    const ConnectionStringParts read = db::parseConnectionString(text);
    QCOMPARE(read.initialCatalog, value);
    QCOMPARE(read.password, value);
    QCOMPARE(read.userId, value);
    QCOMPARE(read.dataSource, QStringLiteral("host"));
    QCOMPARE(read.provider, QStringLiteral("SQLOLEDB.1"));
}

QTEST_GUILESS_MAIN(ConnectionStringTest)
#include "ConnectionStringTest.moc"
