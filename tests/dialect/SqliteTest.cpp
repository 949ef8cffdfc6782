#include "platform/db/DbError.h"
#include "platform/db/SqlScan.h"
#include "platform/db/SqliteDialect.h"

#include <QRegularExpression>
#include <QTest>
#include <memory>
#include <sqlite3.h>

using db::sqlite::translateBatch;

namespace {

// The statement text a query sends: its lines, each followed by CR LF.
QString lines(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

// The id-window clause that skips the first `skip` rows matching `condition`.
QString skipClause(int skip, const QString& condition)
{
    return QStringLiteral(" AND (ID >(SELECT MAX(id) FROM (SELECT TOP %1 id  FROM fid_Main %2 "
                          "ORDER BY id) AS T))  ")
        .arg(skip)
        .arg(condition);
}

const QString Digest = QStringLiteral("0123456789abcdef0123456789abcdef");

QString firstRunBatch(const QString& mainTableSql, const QString& titleTableSql)
{
    return lines({
        QStringLiteral(
            "CREATE TABLE fid_user(id int NOT NULL IDENTITY (1, 1),user_name varchar(16),"),
        QStringLiteral("user_password varchar(32),user_alias varchar(32),"),
        QStringLiteral("user_wr integer,CONSTRAINT id PRIMARY KEY (id));"),
        QStringLiteral("INSERT INTO fid_user(user_name,user_password,user_alias,user_wr)"),
        QStringLiteral(" values('root','") + Digest + QStringLiteral("','管理员',1);"),
        mainTableSql,
        titleTableSql,
        QStringLiteral("create table fid_set(id int NOT NULL IDENTITY (1, 1),options "
                       "varchar(24),parameter varchar(128));"),
        QStringLiteral("INSERT INTO fid_set(options,parameter)"),
        QStringLiteral(" values('title','Vardenix');"),
        QStringLiteral("INSERT INTO fid_set(options,parameter)"),
        QStringLiteral(" values('pagesize','50');"),
    });
}

const QString MainTableSql = QStringLiteral(
    "create table fid_main(id int NOT NULL IDENTITY (1, 1),f_1 varchar(20),f_2 int,f_3 float,"
    "pic image,picmin image,picname varchar(240),doc image,docname varchar(240));");

const QString TitleTableSql = QStringLiteral(
    "create table fid_title(id int NOT NULL IDENTITY (1, 1),title varchar(48), cLength integer);"
    "insert into fid_title(title,cLength) values ('名称',20);"
    "insert into fid_title(title,cLength) values ('数量',10);"
    "insert into fid_title(title,cLength) values ('单价',10);"
    "insert into fid_title(title,cLength) values ('pic',1);"
    "insert into fid_title(title,cLength) values ('dbfile',1);");

// An in-memory SQLite database with SQLite's core functions only, as every
// SQLite tool has them.
class Database
{
public:
    Database()
    {
        sqlite3* handle = nullptr;
        if (sqlite3_open(":memory:", &handle) != SQLITE_OK)
            qFatal("cannot open an in-memory database");
        m_db.reset(handle);
    }

    // Runs every statement of a T-SQL text; the error of the first that fails.
    QString run(const QString& text)
    {
        for (const QString& statement : translateBatch(text)) {
            char* message = nullptr;
            if (sqlite3_exec(m_db.get(), statement.toUtf8().constData(), nullptr, nullptr,
                             &message) != SQLITE_OK) {
                const QString error = QString::fromUtf8(message);
                sqlite3_free(message);
                return error;
            }
        }
        return QString();
    }

    // The first column of every row of a T-SQL select, as text.
    QStringList column(const QString& text)
    {
        const QStringList statements = translateBatch(text);
        if (statements.size() != 1)
            return {QStringLiteral("not one statement")};
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db.get(), statements.first().toUtf8().constData(), -1, &statement,
                               nullptr) != SQLITE_OK)
            return {QString::fromUtf8(sqlite3_errmsg(m_db.get()))};
        QStringList values;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            values.append(QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))));
        }
        sqlite3_finalize(statement);
        return values;
    }

private:
    struct Close
    {
        void operator()(sqlite3* db) const { sqlite3_close(db); }
    };
    std::unique_ptr<sqlite3, Close> m_db;
};

// The statements of a translation but the triggers that follow a table.
QStringList withoutTriggers(QStringList statements)
{
    statements.removeIf(
        [](const QString& statement) { return statement.startsWith(u"CREATE TRIGGER "); });
    return statements;
}

// A text given as the hexadecimal of its UTF-8.
QString fromHex(const char* hex)
{
    return QString::fromUtf8(QByteArray::fromHex(hex));
}

// Texts on which SQLite once read a comment or a quote otherwise than T-SQL.
const char* const CommentBeforeIdentity =
    "435245415445205441424c4520742028696420696e74202d2d206b65790a4944454e544954592028312c2031292c2"
    "0665f3220696e740a2c20665f31207661726368617228392929";
const char* const CarriageReturnInComment =
    "73656c656374202761272061732078202d2d20630d2c2027620a756e696f6e2073656c656374203432202d2d2720"
    "61732079";
const char* const Backtick =
    "73656c65637420312061732060612c2027786020756e696f6e2073656c656374203432202d2d27";
const char* const NestedComment = "73656c6563742031202f2a202f2a202a2f2027202a2f202c202720756e696f6e"
                                  "2073656c656374203432202d2d27";
const char* const NulInComment =
    "64656c6574652066726f6d2074202f2a2000202a2f207768657265206964203d2031";

QStringList numbers(int from, int to, int step = 1)
{
    QStringList list;
    for (int i = from; i <= to; i += step)
        list.append(QString::number(i));
    return list;
}

} // namespace

class SqliteTest : public QObject
{
    Q_OBJECT

private slots:
    void translates_data();
    void translates();
    void varcharTablesGetLengthTriggers_data();
    void varcharTablesGetLengthTriggers();
    void comparesTextColumnsWithNumbersAsNumbers_data();
    void comparesTextColumnsWithNumbersAsNumbers();
    void comparesAndSortsTextColumnsByTheChineseCollation_data();
    void comparesAndSortsTextColumnsByTheChineseCollation();
    void leavesWhatItCannotTranslate_data();
    void leavesWhatItCannotTranslate();
    void firstRunBatchBecomesItsStatements();
    void readsCommentsAndQuotesAsSqlServer_data();
    void readsCommentsAndQuotesAsSqlServer();
    void refusesWhatSqlServerRefuses_data();
    void refusesWhatSqlServerRefuses();
    void statementCounterAgreesWithTheTranslation_data();
    void statementCounterAgreesWithTheTranslation();
    void doubledBracketNameIsSeenAsText();

    void firstRunBatchRuns();
    void pagesSkipEarlierRows();
    void searchPagesSkipEarlierMatches();
    void textSortsAndComparesWithoutCase();
    void varcharCountsGbkBytes_data();
    void varcharCountsGbkBytes();
    void typedColumnsRefuseWrongValues_data();
    void typedColumnsRefuseWrongValues();
    void identityValuesAreNotReused();
    void sqliteRunsWhatTsqlMeans();
};

void SqliteTest::translates_data()
{
    QTest::addColumn<QString>("tsql");
    QTest::addColumn<QStringList>("sqlite");

    const QString head = QStringLiteral("SELECT TOP 50 id,f_1,f_2,picname FROM fid_Main ");
    const QString all = QStringLiteral("WHERE (1=1)");
    const QString search = QStringLiteral("where f_2 like '%abc%'");

    QTest::newRow("first page")
        << head + all + " ORDER BY id "
        << QStringList{"SELECT id,f_1,f_2,picname FROM fid_Main WHERE (1=1) ORDER BY id LIMIT 50"};
    QTest::newRow("page 3: nested TOP")
        << head + all + skipClause(100, all) + " ORDER BY id "
        << QStringList{"SELECT id,f_1,f_2,picname FROM fid_Main WHERE (1=1) AND (ID >(SELECT "
                       "MAX(id) FROM (SELECT id  FROM fid_Main WHERE (1=1) ORDER BY id LIMIT 100) "
                       "AS T))   ORDER BY id LIMIT 50"};
    QTest::newRow("search, page 2")
        << head + search + skipClause(50, search) + " ORDER BY id "
        << QStringList{"SELECT id,f_1,f_2,picname FROM fid_Main where f_2 like '%abc%' AND (ID "
                       ">(SELECT MAX(id) FROM (SELECT id  FROM fid_Main where f_2 like '%abc%' "
                       "ORDER BY id LIMIT 50) AS T))   ORDER BY id LIMIT 50"};
    QTest::newRow("sorted descending")
        << head + all + " order by f_2 desc"
        << QStringList{"SELECT id,f_1,f_2,picname FROM fid_Main WHERE (1=1) order by f_2 desc "
                       "LIMIT 50"};
    QTest::newRow("search before any browse")
        << head + "where f_1='abc'order by id "
        << QStringList{"SELECT id,f_1,f_2,picname FROM fid_Main where f_1='abc'order by id LIMIT "
                       "50"};
    QTest::newRow("number key before any browse")
        << head + "where f_2>=100order by id "
        << QStringList{"SELECT id,f_1,f_2,picname FROM fid_Main where f_2>=100 order by id LIMIT "
                       "50"};
    QTest::newRow("hexadecimal and exponent numbers before a word")
        << "select * from t where a=0x1Forder by b;select * from t where a>1.5e3and b<2E-2"
        << QStringList{"select * from t where a=0x1F order by b",
                       "select * from t where a>1.5e3 and b<2E-2"};
    QTest::newRow("search key that reads TOP and semicolons")
        << head + "where f_1 like '%TOP 5;%' ORDER BY id "
        << QStringList{"SELECT id,f_1,f_2,picname FROM fid_Main where f_1 like '%TOP 5;%' ORDER "
                       "BY id LIMIT 50"};
    QTest::newRow("key with doubled quotes, CREATE and SELECT TOP inside")
        << head + "where f_1='it''s; SELECT TOP 1 x; CREATE TABLE t(a int)' ORDER BY id "
        << QStringList{"SELECT id,f_1,f_2,picname FROM fid_Main where f_1='it''s; SELECT TOP 1 "
                       "x; CREATE TABLE t(a int)' ORDER BY id LIMIT 50"};
    QTest::newRow("lower case, DISTINCT, no blank after the count")
        << "select distinct top 5 f_1 from fid_main;select top 1* from fid_main"
        << QStringList{"select distinct f_1 from fid_main LIMIT 5",
                       "select * from fid_main LIMIT 1"};
    QTest::newRow("LIMIT where a closing comment was")
        << "SELECT TOP 5 * FROM t -- the last five" << QStringList{"SELECT * FROM t LIMIT 5"};
    QTest::newRow("not less and not greater")
        << "select * from t where a!<1 or b !> 2 or c!=3 or d='!<'"
        << QStringList{"select * from t where a>=1 or b <= 2 or c!=3 or d='!<'"};
    QTest::newRow("TOP beyond an int")
        << "select top 3000000000 a from t" << QStringList{"select a from t LIMIT 3000000000"};

    QTest::newRow("catalogue") << "SELECT * FROM fid_title where clength>0\r\n"
                               << QStringList{"SELECT * FROM fid_title where clength>0"};
    QTest::newRow("operator and options")
        << "select id,user_alias,user_wr from fid_user where user_name='root'\r\n"
           "select parameter from fid_set where options='title'"
        << QStringList{"select id,user_alias,user_wr from fid_user where user_name='root'\r\n"
                       "select parameter from fid_set where options='title'"};
    QTest::newRow("record count") << "select id from  fid_Main WHERE (1=1)"
                                  << QStringList{"select id from  fid_Main WHERE (1=1)"};
    QTest::newRow("thumbnail") << "select picmin from  fid_Main where id=7"
                               << QStringList{"select picmin from  fid_Main where id=7"};
    QTest::newRow("blob parameter") << "update fid_Main set pic=:file where id=7;"
                                    << QStringList{"update fid_Main set pic=:file where id=7"};
    QTest::newRow("file name with doubled backslashes")
        << "update fid_Main set docname='C:\\\\文档\\\\a b;c.doc' where id=7;"
        << QStringList{"update fid_Main set docname='C:\\\\文档\\\\a b;c.doc' where id=7"};
    QTest::newRow("user list") << "select id,user_name,user_alias,user_wr from fid_user where "
                                  "user_name<>'root' order by id"
                               << QStringList{
                                      "select id,user_name,user_alias,user_wr from fid_user where "
                                      "user_name<>'root' order by id"};
    QTest::newRow("new operator")
        << "INSERT INTO fid_user(user_name,user_password,user_alias,user_wr) values('li','" +
               Digest + "','李四',0);"
        << QStringList{"INSERT INTO fid_user(user_name,user_password,user_alias,user_wr) "
                       "values('li','" +
                       Digest + "','李四',0)"};
    QTest::newRow("changed operator")
        << "update fid_user set user_alias='李四',user_wr='1' where id=3;"
        << QStringList{"update fid_user set user_alias='李四',user_wr='1' where id=3"};
    QTest::newRow("settings command")
        << "update fid_user set user_password='" + Digest +
               "' where user_name='root';update fid_set  set parameter='我的;标题' where "
               "options='title';update fid_set  set parameter='50' where options='pagesize';"
        << QStringList{"update fid_user set user_password='" + Digest + "' where user_name='root'",
                       "update fid_set  set parameter='我的;标题' where options='title'",
                       "update fid_set  set parameter='50' where options='pagesize'"};
    QTest::newRow("data table with both groups")
        << MainTableSql
        << QStringList{
               "create table fid_main(id INTEGER PRIMARY KEY AUTOINCREMENT,f_1 TEXT COLLATE "
               "NOCASE,f_2 INTEGER,f_3 REAL,pic BLOB,picmin "
               "BLOB,picname TEXT COLLATE NOCASE,doc "
               "BLOB,docname TEXT COLLATE NOCASE) STRICT"};
    QTest::newRow("data table without groups")
        << "create table fid_main(id int NOT NULL IDENTITY (1, 1),f_1 varchar(10),f_2 int);"
        << QStringList{
               "create table fid_main(id INTEGER PRIMARY KEY AUTOINCREMENT,f_1 TEXT COLLATE "
               "NOCASE,f_2 INTEGER) STRICT"};
    QTest::newRow("title table and inserts with awkward titles")
        << "create table fid_title(id int NOT NULL IDENTITY (1, 1),title varchar(48), cLength "
           "integer);insert into fid_title(title,cLength) values ('CREATE TABLE x(a int);',10);"
           "insert into fid_title(title,cLength) values ('SELECT TOP 5 ''名''',10);"
        << QStringList{"create table fid_title(id INTEGER PRIMARY KEY AUTOINCREMENT,title TEXT "
                       "COLLATE NOCASE, cLength INTEGER) STRICT",
                       "insert into fid_title(title,cLength) values ('CREATE TABLE x(a int);',10)",
                       "insert into fid_title(title,cLength) values ('SELECT TOP 5 ''名''',10)"};
    QTest::newRow("type names in any case, varchar(max) and plain varchar")
        << "CREATE TABLE t(a VARCHAR(8),b Int,c INTEGER,d Image,e FLOAT,f varchar(max),g varchar)"
        << QStringList{"CREATE TABLE t(a TEXT COLLATE NOCASE,b INTEGER,"
                       "c INTEGER,d BLOB,e REAL,f TEXT COLLATE NOCASE,g TEXT COLLATE NOCASE) "
                       "STRICT"};
    QTest::newRow("identity key constraint first")
        << "create table t(CONSTRAINT pk PRIMARY KEY ([id]), [id] int IDENTITY, n int NOT NULL)"
        << QStringList{"create table t( [id] INTEGER PRIMARY KEY AUTOINCREMENT, n INTEGER NOT "
                       "NULL) STRICT"};
    QTest::newRow("separators, brackets and comments")
        << ";;\r\n ; select [a;b] from t /* ; */;\r\n-- only a comment; still\r\n;select 'x'"
        << QStringList{"select [a;b] from t", "select 'x'"};
    QTest::newRow("nothing") << "" << QStringList();
    QTest::newRow("blanks and semicolons only") << " ;\r\n; " << QStringList();
}

void SqliteTest::translates()
{
    QFETCH(QString, tsql);
    QTEST(withoutTriggers(translateBatch(tsql)), "sqlite");
}

void SqliteTest::varcharTablesGetLengthTriggers_data()
{
    QTest::addColumn<QString>("tsql");
    QTest::addColumn<QStringList>("triggers");
    QTest::newRow("data table") << MainTableSql
                                << QStringList{"fid_main_varchar_insert",
                                               "fid_main_varchar_update"};
    QTest::newRow("quoted names") << "create table [my table](id int IDENTITY, [a "
                                     "b] varchar(3), \"c\" varchar)"
                                  << QStringList{"my table_varchar_insert",
                                                 "my table_varchar_update"};
    QTest::newRow("no varchar with a length")
        << "create table t(id int IDENTITY, a int, b varchar(max))" << QStringList();
}

void SqliteTest::varcharTablesGetLengthTriggers()
{
    QFETCH(QString, tsql);
    QFETCH(QStringList, triggers);
    QStringList names;
    const QRegularExpression trigger(QStringLiteral("^CREATE TRIGGER \"([^\"]*)\" "));
    for (const QString& statement : translateBatch(tsql))
        if (const QRegularExpressionMatch match = trigger.match(statement); match.hasMatch())
            names.append(match.captured(1));
    QCOMPARE(names, triggers);
    Database db;
    QCOMPARE(db.run(tsql), QString());
}

void SqliteTest::comparesTextColumnsWithNumbersAsNumbers_data()
{
    QTest::addColumn<QString>("tsql");
    QTest::addColumn<QString>("sqlite");

    const QString head = QStringLiteral("SELECT TOP 50 id,f_1,f_2 FROM fid_Main ");
    const QString search = QStringLiteral("where f_1>=100");
    QTest::newRow("search, page 2")
        << head + search + skipClause(50, search) + " ORDER BY id "
        << "SELECT id,f_1,f_2 FROM fid_Main where tsql_number(f_1)>=100 AND (ID >(SELECT MAX(id) "
           "FROM (SELECT id  FROM fid_Main where tsql_number(f_1)>=100 ORDER BY id LIMIT 50) AS "
           "T))   ORDER BY id LIMIT 50";
    QTest::newRow("count") << "select id from  fid_Main where f_1<> 7"
                           << "select id from  fid_Main where tsql_number(f_1)<> 7";
    QTest::newRow("signed number, before any browse")
        << head + "where f_1=-7order by id "
        << "SELECT id,f_1,f_2 FROM fid_Main where tsql_number(f_1)=-7 order by id LIMIT 50";
    QTest::newRow("number first, qualified and quoted names")
        << "select * from fid_main t where 100<=t.f_1 and [F_1]!=5"
        << "select * from fid_main t where 100<=tsql_number(t.f_1) and tsql_number([F_1])!=5";
    QTest::newRow("a text, a real, another column, like")
        << "select * from fid_main where f_1='100' or f_1>1.5 or f_2>100 or f_1 like '%5%'"
        << "select * from fid_main where f_1 COLLATE tsql_chinese='100' or f_1 COLLATE "
           "tsql_chinese>1.5 or f_2>100 or f_1 like '%5%'";
    QTest::newRow("beyond an int, a decimal as for SQL Server")
        << "select id from  fid_Main where f_1>2147483648 or f_1=-2147483648 or f_1<2147483647"
        << "select id from  fid_Main where f_1 COLLATE tsql_chinese>2147483648 or f_1 COLLATE "
           "tsql_chinese=-2147483648 or tsql_number(f_1)<2147483647";
    QTest::newRow("assignments of an update")
        << "update fid_main set f_1=5,f_2=6 where f_1=5"
        << "update fid_main set f_1=5,f_2=6 where tsql_number(f_1)=5";
}

void SqliteTest::comparesTextColumnsWithNumbersAsNumbers()
{
    QFETCH(QString, tsql);
    QFETCH(QString, sqlite);
    QCOMPARE(translateBatch(tsql, {QStringLiteral("f_1")}), QStringList({sqlite}));
}

void SqliteTest::comparesAndSortsTextColumnsByTheChineseCollation_data()
{
    QTest::addColumn<QString>("tsql");
    QTest::addColumn<QString>("sqlite");

    const QString head = QStringLiteral("SELECT TOP 50 id,f_1,f_2 FROM fid_Main ");
    const QString search = QStringLiteral("where f_1>'李四'");
    QTest::newRow("title click, descending")
        << head + "WHERE (1=1) order by f_1 desc"
        << "SELECT id,f_1,f_2 FROM fid_Main WHERE (1=1) order by f_1 COLLATE tsql_chinese desc "
           "LIMIT 50";
    QTest::newRow("title click, ascending")
        << head + "WHERE (1=1) order by f_1"
        << "SELECT id,f_1,f_2 FROM fid_Main WHERE (1=1) order by f_1 COLLATE tsql_chinese LIMIT 50";
    QTest::newRow("sorted search, page 2")
        << head + search + skipClause(50, search) + " order by f_1"
        << "SELECT id,f_1,f_2 FROM fid_Main where f_1 COLLATE tsql_chinese>'李四' AND (ID "
           ">(SELECT MAX(id) FROM (SELECT id  FROM fid_Main where f_1 COLLATE tsql_chinese>'李四' "
           "ORDER BY id LIMIT 50) AS T))   order by f_1 COLLATE tsql_chinese LIMIT 50";
    QTest::newRow("count") << "select id from  fid_Main where f_1<>'ＡＢ'"
                           << "select id from  fid_Main where f_1 COLLATE tsql_chinese<>'ＡＢ'";
    QTest::newRow("text first, qualified and quoted names, every operator")
        << "select * from fid_main t where 'a'<=t.f_1 and [F_1]!='b' and f_1!<'c' and "
           "'d'>=f_1 and 'e'<f_1 and f_1<>'f'"
        << "select * from fid_main t where 'a'<=t.f_1 COLLATE tsql_chinese and [F_1] COLLATE "
           "tsql_chinese!='b' and f_1 COLLATE tsql_chinese>='c' and 'd'>=f_1 COLLATE "
           "tsql_chinese and 'e'<f_1 COLLATE tsql_chinese and f_1 COLLATE tsql_chinese<>'f'";
    QTest::newRow("terms of an ORDER BY")
        << "select * from fid_main t order by t.f_1, [F_1] asc, f_2, lower(f_1), f_1 + 'x', f_1"
        << "select * from fid_main t order by t.f_1 COLLATE tsql_chinese, [F_1] COLLATE "
           "tsql_chinese asc, f_2, lower(f_1), f_1 + 'x', f_1 COLLATE tsql_chinese";
    QTest::newRow("ORDER BY of a sub-select, a collation given")
        << "select * from (select top 5 f_1 from fid_main order by f_1) s order by f_1 collate "
           "nocase"
        << "select * from (select f_1 from fid_main order by f_1 COLLATE tsql_chinese LIMIT 5) s "
           "order by f_1 collate nocase";
    QTest::newRow("like and assignments stay")
        << "update fid_main set f_1='a' where f_1 like '%a%' or f_1='b'"
        << "update fid_main set f_1='a' where f_1 like '%a%' or f_1 COLLATE tsql_chinese='b'";
}

void SqliteTest::comparesAndSortsTextColumnsByTheChineseCollation()
{
    QFETCH(QString, tsql);
    QFETCH(QString, sqlite);
    QCOMPARE(translateBatch(tsql, {QStringLiteral("f_1")}), QStringList({sqlite}));
}

void SqliteTest::leavesWhatItCannotTranslate_data()
{
    QTest::addColumn<QString>("tsql");

    QTest::newRow("TOP of a compound select") << "select top 5 a from t union select b from u";
    QTest::newRow("TOP PERCENT") << "SELECT TOP 10 PERCENT * FROM t";
    QTest::newRow("TOP with an expression") << "SELECT TOP (5) * FROM t";
    QTest::newRow("TOP without a select list") << "SELECT TOP 5";
    QTest::newRow("unbalanced parentheses") << "select TOP 5 * from (select a from t";
    QTest::newRow("identity with another seed")
        << "create table t(id int NOT NULL IDENTITY (100, 1),a int)";
    QTest::newRow("identity on another type") << "create table t(id bigint IDENTITY (1, 1))";
    QTest::newRow("unknown type") << "create table t(id int, a nvarchar(10))";
    QTest::newRow("int with a length") << "create table t(a int(4))";
    QTest::newRow("table options") << "create table t(a int) WITH (DATA_COMPRESSION = PAGE)";
}

void SqliteTest::leavesWhatItCannotTranslate()
{
    QFETCH(QString, tsql);
    QCOMPARE(translateBatch(tsql), QStringList{tsql});
}

void SqliteTest::readsCommentsAndQuotesAsSqlServer_data()
{
    QTest::addColumn<QString>("tsql");
    QTest::addColumn<QStringList>("sqlite");

    QTest::newRow("line comment before the identity")
        << fromHex(CommentBeforeIdentity)
        << QStringList{"CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, f_2 INTEGER\n, f_1 "
                       "TEXT COLLATE NOCASE) STRICT"};
    QTest::newRow("line comment ends at the line feed")
        << "select 1 -- ; select 2\nunion select 3" << QStringList{"select 1  \nunion select 3"};
    QTest::newRow("CR LF ends a line comment") << "select 1 -- a\r\n;select 2 -- b\r\n"
                                               << QStringList{"select 1", "select 2"};
    QTest::newRow("nested block comment")
        << fromHex(NestedComment) << QStringList{"select 1   , ' union select 42 --'"};
    QTest::newRow("comment marks inside literals and names")
        << "select '/*', [--], \"*/\" from t" << QStringList{"select '/*', [--], \"*/\" from t"};
    QTest::newRow("comment between a number and a word")
        << "select 1/*x*/from t" << QStringList{"select 1 from t"};
    QTest::newRow("comment between minus signs")
        << "select 1-/**/-1" << QStringList{"select 1- -1"};
    QTest::newRow("minus signs the translation brings together")
        << "create table t(id int identity -not null-1)"
        << QStringList{"create table t(id INTEGER PRIMARY KEY AUTOINCREMENT - -1) STRICT"};
    QTest::newRow("doubled bracket in a name")
        << "select [a]]b], [c\"d] from [t]" << QStringList{"select \"a]b\", [c\"d] from [t]"};
    QTest::newRow("x before a literal")
        << "select x'41', X'42', ax'43'" << QStringList{"select x '41', X '42', ax'43'"};
    QTest::newRow("parameter before a parenthesis")
        << "select @a('x)'), :b::c('y') from #t(z)"
        << QStringList{"select @a ('x)'), :b::c ('y') from #t (z)"};
}

// Comments become blanks, and SQLite reads every literal and name of the
// result where T-SQL reads it.
void SqliteTest::readsCommentsAndQuotesAsSqlServer()
{
    QFETCH(QString, tsql);
    QTEST(withoutTriggers(translateBatch(tsql)), "sqlite");
}

void SqliteTest::refusesWhatSqlServerRefuses_data()
{
    QTest::addColumn<QString>("tsql");
    QTest::addColumn<QString>("message");

    const QString unclosed =
        QStringLiteral("Unclosed quotation mark after the character string '%1'.");
    const QString noEnd = QStringLiteral("Missing end comment mark '*/'.");
    const QString nul = QStringLiteral(
        "The statement text holds a NUL character, at which SQLite would stop reading it.");
    const QString carriageReturn =
        QStringLiteral("A line comment holds a carriage return without a line feed after it, "
                       "where servers differ on the comment's end.");
    QTest::newRow("literal without its end")
        << "select TOP 5 * from t where a='x" << unclosed.arg(QStringLiteral("x"));
    QTest::newRow("bracketed name without its end")
        << "select [a]]b from t" << unclosed.arg(QStringLiteral("a]]b from t"));
    QTest::newRow("quoted name without its end")
        << "select \"a" << unclosed.arg(QStringLiteral("a"));
    QTest::newRow("comment without its end") << "select 1 /* x" << noEnd;
    QTest::newRow("nested comment closed once") << "select 1 /* /* */ select 2" << noEnd;
    QTest::newRow("backtick") << fromHex(Backtick) << QStringLiteral("Incorrect syntax near '`'.");
    QTest::newRow("NUL in a comment") << fromHex(NulInComment) << nul;
    QTest::newRow("NUL in a literal") << QStringLiteral("select 'a") + QChar(0) + "b'" << nul;
    QTest::newRow("carriage return alone in a line comment")
        << fromHex(CarriageReturnInComment) << carriageReturn;
    QTest::newRow("carriage return alone before a semicolon")
        << "select 1 -- x\r; select 2" << carriageReturn;
}

void SqliteTest::refusesWhatSqlServerRefuses()
{
    QFETCH(QString, tsql);
    QFETCH(QString, message);
    try {
        const QStringList statements = translateBatch(tsql);
        QFAIL(qPrintable(QStringLiteral("translated: ") + statements.join(u'|')));
    } catch (const db::DbError& error) {
        QCOMPARE(error.message(), message);
    }
}

void SqliteTest::statementCounterAgreesWithTheTranslation_data()
{
    QTest::addColumn<QString>("tsql");
    QTest::addColumn<int>("statements");

    QTest::newRow("nested comments hold semicolons") << "select 1 /* /* ; */ ; */; select 2" << 2;
    QTest::newRow("line comment holds a semicolon") << "select 1 -- ;\n; select 2" << 2;
    QTest::newRow("CR LF ends line comments") << "select 1 -- ;\r\n; select 2 -- ;\r\n" << 2;
    QTest::newRow("literals and names hold semicolons")
        << "select ';' ; select \"a;b\"; select [c;]];d]" << 3;
    QTest::newRow("doubled quotes") << "select 'it''s;'; select 1" << 2;
    QTest::newRow("comment ends the text") << "select 1; -- select 2;" << 1;
}

void SqliteTest::statementCounterAgreesWithTheTranslation()
{
    QFETCH(QString, tsql);
    QFETCH(int, statements);
    QCOMPARE(db::sqlscan::statementCount(tsql), statements);
    QCOMPARE(withoutTriggers(translateBatch(tsql)).size(), statements);
}

// A column whose name holds "]" compares and sorts by the Chinese collation too.
void SqliteTest::doubledBracketNameIsSeenAsText()
{
    QCOMPARE(translateBatch(QStringLiteral("select * from t where [a]]b]>'x' order by [A]]B]"),
                            {QStringLiteral("a]b")}),
             QStringList{"select * from t where \"a]b\" COLLATE tsql_chinese>'x' order by \"A]B\" "
                         "COLLATE tsql_chinese"});
}

void SqliteTest::firstRunBatchBecomesItsStatements()
{
    const QStringList all = translateBatch(firstRunBatch(MainTableSql, TitleTableSql));
    QCOMPARE(all.size() - withoutTriggers(all).size(), 8); // two for each table
    const QStringList statements = withoutTriggers(all);
    QCOMPARE(statements.size(), 12);
    QCOMPARE(
        statements[0],
        QStringLiteral(
            "CREATE TABLE fid_user(id INTEGER PRIMARY KEY AUTOINCREMENT,user_name TEXT COLLATE "
            "NOCASE,\r\nuser_password TEXT COLLATE NOCASE,user_alias TEXT COLLATE NOCASE,\r\n"
            "user_wr INTEGER) STRICT"));
    QCOMPARE(statements[1],
             QStringLiteral("INSERT INTO fid_user(user_name,user_password,user_alias,user_wr)\r\n "
                            "values('root','") +
                 Digest + QStringLiteral("','管理员',1)"));
    QVERIFY(statements[2].startsWith(QStringLiteral("create table fid_main(")));
    QVERIFY(statements[3].startsWith(QStringLiteral("create table fid_title(")));
    QCOMPARE(statements[4],
             QStringLiteral("insert into fid_title(title,cLength) values ('名称',20)"));
    QCOMPARE(statements[9],
             QStringLiteral("create table fid_set(id INTEGER PRIMARY KEY AUTOINCREMENT,options "
                            "TEXT COLLATE NOCASE,parameter TEXT "
                            "COLLATE NOCASE) STRICT"));
    QCOMPARE(statements[11],
             QStringLiteral("INSERT INTO fid_set(options,parameter)\r\n values('pagesize','50')"));
}

void SqliteTest::firstRunBatchRuns()
{
    Database db;
    QCOMPARE(db.run(firstRunBatch(MainTableSql, TitleTableSql)), QString());
    QCOMPARE(db.column(QStringLiteral("SELECT title FROM fid_title where clength>0")),
             (QStringList{"名称", "数量", "单价", "pic", "dbfile"}));
    QCOMPARE(db.column(QStringLiteral("select user_alias from fid_user where user_name='root'")),
             QStringList{"管理员"});
    QCOMPARE(db.column(QStringLiteral("select parameter from fid_set where options='pagesize'")),
             QStringList{"50"});
    QCOMPARE(db.run(QStringLiteral("insert into fid_Main(f_1,f_2,f_3) values ('甲',1,2.5);")),
             QString());
    QCOMPARE(db.column(QStringLiteral("select f_1 from  fid_Main where id=1")), QStringList{"甲"});
}

void SqliteTest::pagesSkipEarlierRows()
{
    Database db;
    QCOMPARE(db.run(MainTableSql), QString());
    for (int i = 1; i <= 160; ++i) {
        QCOMPARE(db.run(QStringLiteral("insert into fid_Main(f_1,f_2) values ('r%1',%1)").arg(i)),
                 QString());
    }
    const QString head = QStringLiteral("SELECT TOP 50 id,f_1,f_2,picname FROM fid_Main ");
    const QString all = QStringLiteral("WHERE (1=1)");
    QCOMPARE(db.column(head + all + QStringLiteral(" ORDER BY id ")), numbers(1, 50));
    QCOMPARE(db.column(head + all + skipClause(100, all) + QStringLiteral(" ORDER BY id ")),
             numbers(101, 150));
    QCOMPARE(db.column(head + all + skipClause(150, all) + QStringLiteral(" ORDER BY id ")),
             numbers(151, 160));
}

void SqliteTest::searchPagesSkipEarlierMatches()
{
    Database db;
    QCOMPARE(db.run(MainTableSql), QString());
    for (int i = 1; i <= 60; ++i) {
        const QString name = i % 2 ? QStringLiteral("abc%1") : QStringLiteral("xyz%1");
        QCOMPARE(db.run(QStringLiteral("insert into fid_Main(f_1) values ('%1')").arg(name)),
                 QString());
    }
    // Odd ids match; page 2 of ten holds the 11th to 20th match.
    const QString head = QStringLiteral("SELECT TOP 10 id,f_1 FROM fid_Main ");
    const QString search = QStringLiteral("where f_1 like '%ABC%'");
    QCOMPARE(db.column(head + search + skipClause(10, search) + QStringLiteral(" ORDER BY id ")),
             numbers(21, 39, 2));
    QCOMPARE(db.column(QStringLiteral("select id from  fid_Main ") + search).size(), 30);
}

void SqliteTest::textSortsAndComparesWithoutCase()
{
    Database db;
    QCOMPARE(db.run(MainTableSql), QString());
    QCOMPARE(db.run(QStringLiteral("insert into fid_Main(f_1) values ('b');insert into "
                                   "fid_Main(f_1) values ('A');insert into fid_Main(f_1) values "
                                   "('c');insert into fid_Main(f_1) values ('B');insert into "
                                   "fid_Main(f_1) values ('a');")),
             QString());
    const QStringList sorted =
        db.column(QStringLiteral("SELECT TOP 50 f_1,id FROM fid_Main WHERE (1=1) order by f_1"));
    QStringList folded;
    for (const QString& value : sorted)
        folded.append(value.toLower());
    QCOMPARE(folded, (QStringList{"a", "a", "b", "b", "c"}));
    QCOMPARE(db.column(QStringLiteral("SELECT TOP 50 id,f_1 FROM fid_Main where f_1='B' ORDER BY "
                                      "id ")),
             (QStringList{"1", "4"}));
    QCOMPARE(db.column(QStringLiteral("select id from  fid_Main where f_1<>'A'")).size(), 3);
}

void SqliteTest::varcharCountsGbkBytes_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("two Chinese characters: 4 bytes") << "'中文'" << true;
    QTest::newRow("three Chinese characters: 6 bytes") << "'中文字'" << false;
    QTest::newRow("four ASCII characters") << "'abcd'" << true;
    QTest::newRow("five ASCII characters") << "'abcde'" << false;
    QTest::newRow("mixed, 5 bytes") << "'a中文'" << false;
    QTest::newRow("mixed, 4 bytes") << "'a中b'" << true;
    QTest::newRow("accented Latin: 2 bytes each") << "'éé'" << true;
    QTest::newRow("accented Latin, 5 bytes") << "'ééa'" << false;
    QTest::newRow("euro sign: 1 byte each") << "'€€€€'" << true;
    QTest::newRow("full-width comma and letter") << "'，Ａ'" << true;
    QTest::newRow("empty") << "''" << true;
    QTest::newRow("NULL") << "NULL" << true;
}

// The GBK byte lengths are kept on insert and update, by the engine's file
// alone: the database has none of the engine's own functions.
void SqliteTest::varcharCountsGbkBytes()
{
    QFETCH(QString, value);
    QFETCH(bool, accepted);
    Database db;
    QCOMPARE(db.run(QStringLiteral("create table t(id int NOT NULL IDENTITY (1, 1),s varchar(4),"
                                   "n int)")),
             QString());
    const QString error = db.run(QStringLiteral("insert into t(s) values (%1)").arg(value));
    QCOMPARE(error.isEmpty(), accepted);
    if (!accepted)
        QCOMPARE(error, QStringLiteral("String or binary data would be truncated in table 't', "
                                       "column 's'."));
    QCOMPARE(db.column(QStringLiteral("select id from t")).size(), accepted ? 1 : 0);

    QCOMPARE(db.run(QStringLiteral("insert into t(s) values ('x')")), QString());
    QCOMPARE(db.run(QStringLiteral("update t set s=%1 where s='x'").arg(value)).isEmpty(),
             accepted);
    QCOMPARE(db.column(QStringLiteral("select count(*) from t where s='x'")),
             QStringList{accepted ? "0" : "1"});
    // Other columns of a row stay writable.
    QCOMPARE(db.run(QStringLiteral("update t set n=5")), QString());
}

void SqliteTest::typedColumnsRefuseWrongValues_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("int: text") << "n"
                               << "'abc'" << false;
    QTest::newRow("int: numeric text") << "n"
                                       << "'12'" << true;
    QTest::newRow("int: number") << "n"
                                 << "12" << true;
    QTest::newRow("float: text") << "x"
                                 << "'abc'" << false;
    QTest::newRow("float: number") << "x"
                                   << "1.5" << true;
    QTest::newRow("varchar: number") << "s"
                                     << "12" << true;
}

void SqliteTest::typedColumnsRefuseWrongValues()
{
    QFETCH(QString, column);
    QFETCH(QString, value);
    QFETCH(bool, accepted);
    Database db;
    QCOMPARE(db.run(QStringLiteral("create table t(id int NOT NULL IDENTITY (1, 1),n int,x float,"
                                   "s varchar(10))")),
             QString());
    const QString error =
        db.run(QStringLiteral("insert into t(%1) values (%2)").arg(column, value));
    QCOMPARE(error.isEmpty(), accepted);
}

// The texts on which SQLite once ran something else than T-SQL means.
void SqliteTest::sqliteRunsWhatTsqlMeans()
{
    Database db;
    // The column after a line comment is made.
    QCOMPARE(db.run(fromHex(CommentBeforeIdentity)), QString());
    QCOMPARE(db.run(QStringLiteral("insert into t(f_2, f_1) values (2, 'x')")), QString());
    QCOMPARE(db.column(QStringLiteral("select f_2 from t")), QStringList{"2"});
    // The nested comment hides a quote: one row, whose second value is a literal.
    QCOMPARE(db.column(fromHex(NestedComment)), QStringList{"1"});
    QCOMPARE(db.column(QStringLiteral("select 1 where 2 !< 2 and 1 !> 1 and not 1 !< 2")),
             QStringList{"1"});
    // A name that holds "]", with the length its trigger keeps.
    QCOMPARE(db.run(QStringLiteral("create table [a]]b](id int IDENTITY, [c]]d] varchar(3))")),
             QString());
    QCOMPARE(db.run(QStringLiteral("insert into [a]]b]([c]]d]) values ('abc')")), QString());
    QCOMPARE(db.column(QStringLiteral("select [c]]d] from [a]]b]")), QStringList{"abc"});
    QCOMPARE(db.run(QStringLiteral("insert into [a]]b]([c]]d]) values ('abcd')")),
             QStringLiteral("String or binary data would be truncated in table 'a]b', column "
                            "'c]d'."));
}

void SqliteTest::identityValuesAreNotReused()
{
    Database db;
    QCOMPARE(db.run(QStringLiteral("create table t(id int NOT NULL IDENTITY (1, 1),s varchar(4));"
                                   "insert into t(s) values ('a');insert into t(s) values ('b');"
                                   "delete from t where id=2;insert into t(s) values ('c');")),
             QString());
    QCOMPARE(db.column(QStringLiteral("select id from t order by id")), (QStringList{"1", "3"}));
}

QTEST_GUILESS_MAIN(SqliteTest)
#include "SqliteTest.moc"
