// Chinese text is never lost silently: a SQL Server database whose collation
// would store it as "?" is refused with a message that names the collation,
// and where the collation keeps it, text written as a literal or as a
// parameter reads back exactly.

#include "signin/Collation.h"

#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/StatementLog.h"
#include "support/TestFolder.h"

#include <QTest>

namespace {

const QString Chinese = QStringLiteral("汉字档案管理");
const QString Latin = QStringLiteral("Latin1_General_CI_AS");

} // namespace

class CollationTest : public QObject
{
    Q_OBJECT

private slots:
    void refusal_data();
    void refusal();
    void databaseCollation_data();
    void databaseCollation();
    void chineseTextReadsBack_data();
    void chineseTextReadsBack();
};

void CollationTest::refusal_data()
{
    QTest::addColumn<QString>("collation");
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QString>("message");

    QTest::newRow("Chinese_PRC_CI_AS") << "Chinese_PRC_CI_AS" << 936 << "";
    QTest::newRow("binary Chinese") << "Chinese_PRC_BIN2" << 936 << "";
    QTest::newRow("pinyin order") << "Chinese_Simplified_Pinyin_100_CI_AS" << 936 << "";
    QTest::newRow("Latin1_General_CI_AS")
        << "Latin1_General_CI_AS" << 1252
        << "数据库的排序规则是 Latin1_General_CI_AS(代码页1252)，不能保存中文。"
           "请把数据库的排序规则改为 Chinese_PRC_CI_AS 后再连接。";
    QTest::newRow("server default of an English setup")
        << "SQL_Latin1_General_CP1_CI_AS" << 1252
        << "数据库的排序规则是 SQL_Latin1_General_CP1_CI_AS(代码页1252)，不能保存中文。"
           "请把数据库的排序规则改为 Chinese_PRC_CI_AS 后再连接。";
    // Traditional Chinese and Japanese lack many of the simplified characters.
    QTest::newRow("traditional Chinese")
        << "Chinese_Taiwan_Stroke_CI_AS" << 950
        << "数据库的排序规则是 Chinese_Taiwan_Stroke_CI_AS(代码页950)，不能保存中文。"
           "请把数据库的排序规则改为 Chinese_PRC_CI_AS 后再连接。";
    QTest::newRow("Japanese") << "Japanese_CI_AS" << 932
                              << "数据库的排序规则是 Japanese_CI_AS(代码页932)，不能保存中文。"
                                 "请把数据库的排序规则改为 Chinese_PRC_CI_AS 后再连接。";
    QTest::newRow("UTF-8") << "Latin1_General_100_CI_AS_SC_UTF8" << 65001
                           << "数据库的排序规则是 Latin1_General_100_CI_AS_SC_UTF8(代码页65001)，"
                              "汉字按UTF-8每个占3个字节，放不进按每个汉字2个字节设计的字段。"
                              "请把数据库的排序规则改为 Chinese_PRC_CI_AS 后再连接。";
    QTest::newRow("unreadable") << "" << 0
                                << "读不到数据库的排序规则，不能确定能否保存中文。"
                                   "请把数据库的排序规则设为 Chinese_PRC_CI_AS 后再连接。";
}

void CollationTest::refusal()
{
    QFETCH(QString, collation);
    QFETCH(int, codePage);
    QFETCH(QString, message);
    QCOMPARE(CollationRefusal(collation, codePage), message);
}

void CollationTest::databaseCollation_data()
{
    QTest::addColumn<QString>("collation");
    QTest::addColumn<int>("codePage");
    QTest::newRow("Chinese") << "Chinese_PRC_CI_AS" << 936;
    QTest::newRow("Latin") << Latin << 1252;
}

// What the server reports for a database of each collation; the embedded
// engine is not asked at all.
void CollationTest::databaseCollation()
{
    QFETCH(QString, collation);
    QFETCH(int, codePage);
    if (collation == Latin)
        SKIP_ON_SERVER_DIFFERENCE("the test server makes databases of Chinese_PRC_CI_AS only");

    TestFolder folder;
    db::Connection connection(
        folder.database(QStringLiteral("text"), collation).connectionString());
    QStringList sent;
    db::setStatementObserver([&sent](const QString& text) { sent << text; });
    const QString refusal = ChineseTextRefusal(connection);
    db::setStatementObserver({});
    if (TestDatabase::embedded()) {
        QCOMPARE(refusal, QString());
        QVERIFY(sent.isEmpty());
        QVERIFY(!connection.isConnected());
        return;
    }
    QCOMPARE(sent, QStringList{CollationStatement + QStringLiteral("\r\n")});
    QCOMPARE(refusal, CollationRefusal(collation, codePage));
    db::Query query(connection);
    query.addSql(CollationStatement);
    query.open();
    // Servers give the name in the case they keep it in.
    QCOMPARE(query.text(0).toLower(), collation.toLower());
    QCOMPARE(query.value(1).toInt(), codePage);
}

void CollationTest::chineseTextReadsBack_data()
{
    QTest::addColumn<QString>("collation");
    QTest::addColumn<bool>("posted");
    QTest::addColumn<QString>("stored");
    QTest::newRow("Chinese") << "Chinese_PRC_CI_AS" << true << Chinese;
    // What the refusal prevents: every Chinese character becomes "?".
    if (TestDatabase::onSqlServer())
        QTest::newRow("Latin") << Latin << false << QString(Chinese.size(), u'?');
}

// Typed text reaches the server as a literal in a statement and as a
// parameter of a posted row.
void CollationTest::chineseTextReadsBack()
{
    QFETCH(QString, collation);
    QFETCH(bool, posted);
    QFETCH(QString, stored);
    if (collation == Latin)
        SKIP_ON_SERVER_DIFFERENCE("the test server makes databases of Chinese_PRC_CI_AS only");

    TestFolder folder;
    const TestDatabase& database = folder.database(QStringLiteral("text"), collation);
    database.execute({QStringLiteral("create table t(id int NOT NULL IDENTITY (1, 1),"
                                     "s varchar(40));"),
                      QStringLiteral("insert into t(s) values ('%1');").arg(Chinese)});
    QList<QStringList> expected{{stored}};
    if (posted) {
        db::Connection connection(database.connectionString());
        db::Query query(connection);
        query.addSql(QStringLiteral("select id,s from t"));
        query.open();
        query.appendRow();
        query.setRowValue(1, 1, Chinese);
        query.postRow(1);
        expected.append({stored});
    }
    QCOMPARE(database.rows(QStringLiteral("select s from t order by id")), expected);
}

QTEST_GUILESS_MAIN(CollationTest)
#include "CollationTest.moc"
