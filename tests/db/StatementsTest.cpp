// The program's statement texts, run through the layer, give what SQL Server
// gives for them, on the embedded engine as on SQL Server itself.

#include "DatabaseFixture.h"
#include "support/Failure.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <functional>
#include <optional>

namespace {

// The rows the tests put into fid_main, with ids 1 to 160.
struct Record
{
    int id = 0;
    std::optional<QString> f1; // varchar(20)
    std::optional<int> f2;     // int, unique where not NULL
    double f3 = 0;             // float, unique
};

constexpr int RecordCount = 160;

Record record(int id)
{
    Record r;
    r.id = id;
    switch (id % 5) {
    case 1:
        r.f1 = QStringLiteral("abc%1").arg(id);
        break;
    case 2:
        r.f1 = QStringLiteral("ABC%1").arg(id);
        break;
    case 3:
        r.f1 = QStringLiteral("x_y%1").arg(id);
        break;
    case 4:
        // Servers put Chinese text before or after Latin text as their
        // collation has it; a Latin letter first keeps the order the same.
        r.f1 = QStringLiteral("z名称%1").arg(id);
        break;
    default:
        break;
    }
    if (id % 15 != 0)
        r.f2 = id * 37 % 1000;
    r.f3 = id / 4.0;
    return r;
}

QList<Record> allRecords()
{
    QList<Record> records;
    for (int id = 1; id <= RecordCount; ++id)
        records.append(record(id));
    return records;
}

QStringList insertRecords()
{
    QStringList lines;
    for (const Record& r : allRecords()) {
        lines.append(QStringLiteral("insert into fid_Main(f_1,f_2,f_3) values (%1,%2,%3);")
                         .arg(r.f1 ? u'\'' + *r.f1 + u'\'' : QStringLiteral("NULL"),
                              r.f2 ? QString::number(*r.f2) : QStringLiteral("NULL"),
                              QString::number(r.f3)));
    }
    return lines;
}

using Predicate = std::function<bool(const Record&)>;

// Text compares as SQL Server's case-insensitive collation does it here.
QString folded(const Record& r)
{
    return r.f1 ? r.f1->toLower() : QString();
}

Predicate likeF1(const QString& pattern) // pattern in regular-expression form
{
    const QRegularExpression expression(pattern, QRegularExpression::CaseInsensitiveOption);
    return [expression](const Record& r) { return r.f1 && expression.match(*r.f1).hasMatch(); };
}

const QString Head = QStringLiteral("SELECT TOP 50 id,f_1,f_2,f_3,picname,docname FROM fid_Main ");

QString skipClause(int pageIndex, const QString& condition)
{
    if (pageIndex == 0)
        return QString();
    return QStringLiteral(" AND (ID >(SELECT MAX(id) FROM (SELECT TOP %1 id  FROM fid_Main %2"
                          " ORDER BY id) AS T))  ")
        .arg(50 * pageIndex)
        .arg(condition);
}

enum class Order
{
    Id,
    F1Desc,
    F2Desc,
    F3
};

QString orderText(Order order)
{
    switch (order) {
    case Order::Id:
        return QStringLiteral(" ORDER BY id ");
    case Order::F1Desc:
        return QStringLiteral(" order by f_1 desc");
    case Order::F2Desc:
        return QStringLiteral(" order by f_2 desc");
    case Order::F3:
        return QStringLiteral(" order by f_3");
    }
    return QString();
}

// -1, 0 or 1 as SQL Server orders the two rows; NULL is the lowest value.
int compareRows(const Record& a, const Record& b, Order order)
{
    const auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    switch (order) {
    case Order::Id:
        return sign(a.id, b.id);
    case Order::F1Desc:
        return -(a.f1 && b.f1 ? sign(folded(a), folded(b)) : sign(bool(a.f1), bool(b.f1)));
    case Order::F2Desc:
        return -(a.f2 && b.f2 ? sign(*a.f2, *b.f2) : sign(bool(a.f2), bool(b.f2)));
    case Order::F3:
        return sign(a.f3, b.f3);
    }
    return 0;
}

// The ids of the page: the matching rows after the id window of the earlier
// pages, in the order, at most 50. Fails when ties would make it ambiguous.
QStringList expectedPage(const Predicate& matches, int pageIndex, Order order)
{
    QList<Record> matching;
    for (const Record& r : allRecords()) {
        if (matches(r))
            matching.append(r);
    }
    const int skipped = std::min<int>(50 * pageIndex, static_cast<int>(matching.size()));
    const int lastSkippedId = skipped > 0 ? matching.at(skipped - 1).id : 0;
    QList<Record> page;
    for (const Record& r : matching) {
        if (r.id > lastSkippedId)
            page.append(r);
    }
    std::stable_sort(page.begin(), page.end(), [order](const Record& a, const Record& b) {
        return compareRows(a, b, order) < 0;
    });
    QStringList ids;
    for (int i = 0; i < std::min<int>(50, static_cast<int>(page.size())); ++i) {
        if (i + 1 < page.size() && compareRows(page.at(i), page.at(i + 1), order) == 0)
            qFatal("the expected page depends on the order of equal rows");
        ids.append(QString::number(page.at(i).id));
    }
    return ids;
}

int expectedCount(const Predicate& matches)
{
    const QList<Record> records = allRecords();
    return static_cast<int>(std::count_if(records.cbegin(), records.cend(), matches));
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

} // namespace

Q_DECLARE_METATYPE(TableDesign)
Q_DECLARE_METATYPE(Predicate)
Q_DECLARE_METATYPE(Order)

class StatementsTest : public QObject
{
    Q_OBJECT

private slots:
    void firstRun_data();
    void firstRun();
    void firstRunOnExistingTablesFails();
    void paging_data();
    void paging();
    void search_data();
    void search();
    void documentsAndPictures();
    void users();
    void settings();
    void settingsBatchIsAllOrNothing();

private:
    // A database after the first run, holding the 160 test rows.
    void fill(FreshDatabase& database)
    {
        database.execute(standardFirstRun());
        database.execute(insertRecords());
    }
};

void StatementsTest::firstRun_data()
{
    QTest::addColumn<TableDesign>("design");
    QTest::addColumn<QStringList>("catalogue");
    QTest::addColumn<QStringList>("lengths");
    QTest::addColumn<QStringList>("columns");

    const QStringList titles{QStringLiteral("名称"), QStringLiteral("数量"),
                             QStringLiteral("单价")};
    const QStringList data{QStringLiteral("id"), QStringLiteral("f_1"), QStringLiteral("f_2"),
                           QStringLiteral("f_3")};
    const QStringList pictures{QStringLiteral("pic"), QStringLiteral("picmin"),
                               QStringLiteral("picname")};
    const QStringList documents{QStringLiteral("doc"), QStringLiteral("docname")};
    const QStringList lengthTexts{QStringLiteral("20"), QStringLiteral("10"), QStringLiteral("10")};

    QTest::newRow("three columns, both groups")
        << threeColumnDesign(true, true)
        << titles + QStringList{QStringLiteral("pic"), QStringLiteral("dbfile")}
        << lengthTexts + QStringList{QStringLiteral("1"), QStringLiteral("1")}
        << data + pictures + documents;
    QTest::newRow("three columns, no groups")
        << threeColumnDesign(false, false) << titles << lengthTexts << data;
    QTest::newRow("pictures only")
        << threeColumnDesign(true, false) << titles + QStringList{QStringLiteral("pic")}
        << lengthTexts + QStringList{QStringLiteral("1")} << data + pictures;
    QTest::newRow("documents only")
        << threeColumnDesign(false, true) << titles + QStringList{QStringLiteral("dbfile")}
        << lengthTexts + QStringList{QStringLiteral("1")} << data + documents;

    TableDesign defaults;
    QStringList defaultTitles;
    QStringList defaultColumns{QStringLiteral("id")};
    for (int n = 1; n <= 10; ++n) {
        defaults.columns.append({QStringLiteral("标题%1").arg(n), ColumnType::Text, 10});
        defaultTitles.append(QStringLiteral("标题%1").arg(n));
        defaultColumns.append(QStringLiteral("f_%1").arg(n));
    }
    QTest::newRow("ten default columns")
        << defaults << defaultTitles + QStringList{QStringLiteral("pic"), QStringLiteral("dbfile")}
        << QStringList(12, QStringLiteral("10")).mid(0, 10) +
               QStringList{QStringLiteral("1"), QStringLiteral("1")}
        << defaultColumns + pictures + documents;
}

void StatementsTest::firstRun()
{
    QFETCH(TableDesign, design);
    QFETCH(QStringList, catalogue);
    QFETCH(QStringList, lengths);
    QFETCH(QStringList, columns);

    FreshDatabase database;
    const QString probe = QStringLiteral("SELECT 1 FROM fid_user WHERE user_name='root'");
    QVERIFY(!failure([&] { database.open(probe); }).isEmpty());

    database.execute(firstRunBatch(design));
    QCOMPARE(database.column(probe), QStringList{QStringLiteral("1")});

    db::Query& query = database.query;
    database.open(QStringLiteral("SELECT * FROM fid_title where clength>0"));
    QCOMPARE(query.fieldCount(), 3);
    QStringList titles;
    QStringList cLengths;
    for (query.first(); !query.eof(); query.next()) {
        titles.append(query.text(QStringLiteral("title")));
        cLengths.append(query.text(QStringLiteral("cLength")));
    }
    QCOMPARE(titles, catalogue);
    QCOMPARE(cLengths, lengths);

    QCOMPARE(database.column(
                 QStringLiteral("SELECT user_password FROM fid_user WHERE user_name='root'")),
             QStringList{passwordDigest("480517")});
    database.open(
        QStringLiteral("select id,user_alias,user_wr from fid_user where user_name='root'"));
    QCOMPARE(query.text(QStringLiteral("user_alias")), QStringLiteral("管理员"));
    QCOMPARE(query.text(QStringLiteral("user_wr")), QStringLiteral("1"));
    QCOMPARE(database.column(QStringLiteral("select parameter from fid_set where options='title'")),
             QStringList{QStringLiteral("Vardenix")});
    QCOMPARE(
        database.column(QStringLiteral("select parameter from fid_set where options='pagesize'")),
        QStringList{QStringLiteral("50")});

    database.open(QStringLiteral("SELECT TOP 1 * FROM fid_main"));
    QStringList names;
    for (int i = 0; i < query.fieldCount(); ++i)
        names.append(query.fieldName(i));
    QCOMPARE(names, columns);
    QCOMPARE(query.recordCount(), 0);
}

void StatementsTest::firstRunOnExistingTablesFails()
{
    FreshDatabase database;
    database.execute(standardFirstRun());
    database.execute(
        {QStringLiteral("update fid_set  set parameter='Mine' where options='title';")});
    // "table fid_user already exists"; "There is already an object named 'fid_user'".
    QVERIFY(
        failure([&] { database.execute(standardFirstRun()); }).contains(QStringLiteral("already")));
    QCOMPARE(database.count(QStringLiteral("select id from fid_user")), 1);
    QCOMPARE(database.column(QStringLiteral("select parameter from fid_set where options='title'")),
             QStringList{QStringLiteral("Mine")});
}

void StatementsTest::paging_data()
{
    QTest::addColumn<QString>("condition");
    QTest::addColumn<Predicate>("matches");
    QTest::addColumn<int>("pageIndex");
    QTest::addColumn<Order>("order");

    const QString all = QStringLiteral("WHERE (1=1)");
    const Predicate any = [](const Record&) { return true; };
    QTest::newRow("first page") << all << any << 0 << Order::Id;
    QTest::newRow("page 3") << all << any << 2 << Order::Id;
    QTest::newRow("last page") << all << any << 3 << Order::Id;
    QTest::newRow("after the last page") << all << any << 4 << Order::Id;
    QTest::newRow("sorted first page") << all << any << 0 << Order::F2Desc;
    QTest::newRow("sorted page 3") << all << any << 2 << Order::F2Desc;
    QTest::newRow("sorted by text, page 2") << all << any << 1 << Order::F1Desc;

    const QString abc = QStringLiteral("where f_1 like '%abc%'");
    QTest::newRow("search, first page") << abc << likeF1(QStringLiteral("abc")) << 0 << Order::Id;
    QTest::newRow("search, page 2") << abc << likeF1(QStringLiteral("abc")) << 1 << Order::Id;
    QTest::newRow("search, sorted page 2")
        << abc << likeF1(QStringLiteral("abc")) << 1 << Order::F3;
    const QString many = QStringLiteral("where f_2>=100");
    const Predicate manyMatch = [](const Record& r) { return r.f2 && *r.f2 >= 100; };
    QTest::newRow("numeric search, page 2") << many << manyMatch << 1 << Order::Id;
    QTest::newRow("numeric search, sorted page 2") << many << manyMatch << 1 << Order::F1Desc;
}

void StatementsTest::paging()
{
    QFETCH(QString, condition);
    QFETCH(Predicate, matches);
    QFETCH(int, pageIndex);
    QFETCH(Order, order);

    FreshDatabase database;
    fill(database);
    const QString statement =
        Head + condition + skipClause(pageIndex, condition) + orderText(order);
    const QStringList expected = expectedPage(matches, pageIndex, order);
    QCOMPARE(database.column(statement), expected);
    if (condition == u"WHERE (1=1)" && pageIndex == 2 && order == Order::Id) {
        QCOMPARE(expected.first(), QStringLiteral("101"));
        QCOMPARE(expected.last(), QStringLiteral("150"));
    }
    QCOMPARE(database.count(QStringLiteral("select id from  fid_Main ") + condition),
             expectedCount(matches));
}

void StatementsTest::search_data()
{
    QTest::addColumn<QString>("condition");
    QTest::addColumn<Predicate>("matches");

    const auto f2 = [](std::function<bool(int)> test) -> Predicate {
        return [test](const Record& r) { return r.f2 && test(*r.f2); };
    };
    QTest::newRow("contains") << "where f_1 like '%abc%'" << likeF1(QStringLiteral("abc"));
    QTest::newRow("contains nothing") << "where f_1 like '%%'" << likeF1(QString());
    QTest::newRow("contains with _") << "where f_1 like '%1_1%'" << likeF1(QStringLiteral("1.1"));
    QTest::newRow("contains _ itself")
        << "where f_1 like '%x_y1%'" << likeF1(QStringLiteral("x.y1"));
    QTest::newRow("contains with %") << "where f_1 like '%b%1%'" << likeF1(QStringLiteral("b.*1"));
    QTest::newRow("contains chinese")
        << "where f_1 like '%名称1%'" << likeF1(QStringLiteral("名称1"));
    QTest::newRow("contains a number") << "where f_1 like '%5%'" << likeF1(QStringLiteral("5"));
    QTest::newRow("contains in an int column")
        << "where f_2 like '%5%'" << f2([](int v) { return QString::number(v).contains(u'5'); });
    QTest::newRow(">") << "where f_2>500" << f2([](int v) { return v > 500; });
    QTest::newRow("<") << "where f_2<100" << f2([](int v) { return v < 100; });
    QTest::newRow(">=") << "where f_2>=370" << f2([](int v) { return v >= 370; });
    QTest::newRow("<=") << "where f_2<=37" << f2([](int v) { return v <= 37; });
    QTest::newRow("=") << "where f_2=74" << f2([](int v) { return v == 74; });
    QTest::newRow("<>") << "where f_2<>74" << f2([](int v) { return v != 74; });
    QTest::newRow("= with a blank") << "where f_2= 111" << f2([](int v) { return v == 111; });
    QTest::newRow("= hexadecimal") << "where f_2=0x4A" << f2([](int v) { return v == 74; });
    QTest::newRow("quoted number, int column")
        << "where f_2>='500'" << f2([](int v) { return v >= 500; });
    QTest::newRow("quoted decimal, real column")
        << "where f_3<'2.5'" << Predicate([](const Record& r) { return r.f3 < 2.5; });
    QTest::newRow("number, real column")
        << "where f_3>=30" << Predicate([](const Record& r) { return r.f3 >= 30; });
    QTest::newRow("= text, other case")
        << "where f_1='abc12'"
        << Predicate([](const Record& r) { return folded(r) == QStringLiteral("abc12"); });
    QTest::newRow("<> empty") << "where f_1<>''" << Predicate([](const Record& r) {
        return r.f1 && !r.f1->isEmpty();
    });
    QTest::newRow("<> text") << "where f_1<>'ABC1'" << Predicate([](const Record& r) {
        return r.f1 && folded(r) != QStringLiteral("abc1");
    });
    QTest::newRow("< text") << "where f_1<'abc2'" << Predicate([](const Record& r) {
        return r.f1 && folded(r) < QStringLiteral("abc2");
    });
    QTest::newRow("> text") << "where f_1>'ABC9'" << Predicate([](const Record& r) {
        return r.f1 && folded(r) > QStringLiteral("abc9");
    });
}

void StatementsTest::search()
{
    QFETCH(QString, condition);
    QFETCH(Predicate, matches);

    FreshDatabase database;
    fill(database);
    const int count = expectedCount(matches);
    QVERIFY(count > 0);
    QCOMPARE(database.count(QStringLiteral("select id from  fid_Main ") + condition), count);
    QCOMPARE(database.column(Head + condition + orderText(Order::Id)),
             expectedPage(matches, 0, Order::Id));
    if (count > 50)
        QCOMPARE(
            database.column(Head + condition + skipClause(1, condition) + orderText(Order::Id)),
            expectedPage(matches, 1, Order::Id));

    // A search before any browse orders by " order by id ": the blank keeps a
    // number at the condition's end apart from "order" on every server.
    QStringList first;
    const QString error = failure(
        [&] { first = database.column(Head + condition + QStringLiteral(" order by id ")); });
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(first, expectedPage(matches, 0, Order::Id));
}

void StatementsTest::documentsAndPictures()
{
    FreshDatabase database;
    fill(database);
    db::Query& query = database.query;

    QByteArray document(70 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < document.size(); ++i)
        document[i] = static_cast<char>(i * 31 % 251);
    const QString documentPath = database.folder.file(QStringLiteral("Plan.doc"));
    {
        QFile file(documentPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(document);
    }

    // Import of a document: the bytes through :file, then the name.
    query.clearSql();
    query.addSql(QStringLiteral("update fid_Main set doc=:file where id=7;"));
    query.loadFileParameter(documentPath);
    query.execute();
    database.execute({QStringLiteral("update fid_Main set docname='C:\\\\Docs\\\\Plan.doc' "
                                     "where id=7;")});

    // Import of a picture: the file, the thumbnail from memory, the name.
    const QByteArray picture = QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(5000, '\x11');
    const QByteArray thumbnail = QByteArray("BM") + QByteArray(124 * 73 * 3, '\x7F');
    query.clearSql();
    query.addSql(QStringLiteral("update fid_Main set pic=:file where id=7;"));
    query.setFileParameter(picture);
    query.execute();
    query.clearSql();
    query.addSql(QStringLiteral("update fid_Main set picmin=:file where id=7;"));
    query.setFileParameter(thumbnail);
    query.execute();
    database.execute(
        {QStringLiteral("update fid_Main set picname='C:\\\\Pics\\\\a.JPG' where id=7;")});

    query.setSql(QStringLiteral("select doc from  fid_Main where id=7"));
    const QString exported = database.folder.file(QStringLiteral("exported.doc"));
    QVERIFY(query.saveBlobToFile(exported));
    QVERIFY(fileBytes(exported) == document);
    database.open(QStringLiteral("select pic from  fid_Main where id=7"));
    QVERIFY(query.bytes(QStringLiteral("pic")) == picture);
    database.open(QStringLiteral("select picmin from  fid_Main where id=7"));
    QVERIFY(query.bytes(QStringLiteral("picmin")) == thumbnail);

    database.open(Head + QStringLiteral("WHERE (1=1) AND (ID >(SELECT MAX(id) FROM (SELECT TOP 5 "
                                        "id  FROM fid_Main WHERE (1=1) ORDER BY id) AS T))   "
                                        "ORDER BY id "));
    QCOMPARE(query.text(0), QStringLiteral("6"));
    query.next();
    QCOMPARE(query.text(QStringLiteral("docname")), QStringLiteral("C:\\\\Docs\\\\Plan.doc"));
    QCOMPARE(query.text(QStringLiteral("picname")), QStringLiteral("C:\\\\Pics\\\\a.JPG"));

    // A row without a document exports an empty file.
    query.setSql(QStringLiteral("select doc from  fid_Main where id=8"));
    QVERIFY(query.saveBlobToFile(exported));
    QVERIFY(QFile::exists(exported));
    QCOMPARE(QFileInfo(exported).size(), 0);
}

void StatementsTest::users()
{
    FreshDatabase database;
    database.execute(standardFirstRun());
    const QString list = QStringLiteral("select id,user_name,user_alias,user_wr from fid_user "
                                        "where user_name<>'root' order by id");
    QCOMPARE(database.column(list), QStringList());

    const QString duplicate = QStringLiteral("select id from fid_user where user_name='bob'");
    QCOMPARE(database.column(duplicate), QStringList());
    QCOMPARE(database.column(QStringLiteral("select id from fid_user where user_name='root'")),
             QStringList{QStringLiteral("1")});
    database.execute({QStringLiteral("INSERT INTO fid_user(user_name,user_password,user_alias,"
                                     "user_wr) values('bob','") +
                      passwordDigest("secret") + QStringLiteral("','鲍勃',0);")});
    QCOMPARE(database.column(duplicate), QStringList{QStringLiteral("2")});

    database.execute({QStringLiteral("update fid_user set user_alias='Bobby',user_password='") +
                      passwordDigest("secret2") + QStringLiteral("',user_wr=1 where id=2;")});
    db::Query& query = database.query;
    database.open(list);
    QCOMPARE(query.recordCount(), 1);
    QCOMPARE(query.text(1), QStringLiteral("bob"));
    QCOMPARE(query.text(2), QStringLiteral("Bobby"));
    QCOMPARE(query.text(3), QStringLiteral("1"));

    // Without a password the rights value comes quoted and the digest stays.
    database.execute({QStringLiteral("update fid_user set user_alias='鲍勃',user_wr='0' "
                                     "where id=2;")});
    database.open(list);
    QCOMPARE(query.text(2), QStringLiteral("鲍勃"));
    QCOMPARE(query.text(3), QStringLiteral("0"));
    QCOMPARE(
        database.column(QStringLiteral("SELECT user_password FROM fid_user WHERE user_name='bob'")),
        QStringList{passwordDigest("secret2")});

    // An account longer than varchar(16) is refused, as SQL Server refuses it.
    QVERIFY(!failure([&] {
                 database.execute({QStringLiteral("INSERT INTO fid_user(user_name,user_password,"
                                                  "user_alias,user_wr) values('"
                                                  "一二三四五六七八九','x','y',1);")});
             }).isEmpty());

    database.open(list);
    query.deleteCurrentRow();
    QCOMPARE(query.recordCount(), 0);
    QCOMPARE(database.column(list), QStringList());
}

void StatementsTest::settings()
{
    FreshDatabase database;
    database.execute(standardFirstRun());
    database.execute({QStringLiteral("update fid_user set user_password='") +
                      passwordDigest("654321") +
                      QStringLiteral("' where user_name='root';"
                                     "update fid_set  set parameter='档案管理' where "
                                     "options='title';"
                                     "update fid_set  set parameter='30' where "
                                     "options='pagesize';")});
    QCOMPARE(database.column(QStringLiteral("select parameter from fid_set where options='title'")),
             QStringList{QStringLiteral("档案管理")});
    QCOMPARE(
        database.column(QStringLiteral("select parameter from fid_set where options='pagesize'")),
        QStringList{QStringLiteral("30")});
    QCOMPARE(database.column(
                 QStringLiteral("SELECT user_password FROM fid_user WHERE user_name='root'")),
             QStringList{passwordDigest("654321")});

    // An operator other than root changes only the password.
    database.execute({QStringLiteral("update fid_user set user_password='") +
                      passwordDigest("abcdef") + QStringLiteral("' where user_name='root';")});
    QCOMPARE(database.column(
                 QStringLiteral("SELECT user_password FROM fid_user WHERE user_name='root'")),
             QStringList{passwordDigest("abcdef")});
}

void StatementsTest::settingsBatchIsAllOrNothing()
{
    FreshDatabase database;
    database.execute(standardFirstRun());
    // The title is longer than parameter's varchar(128): nothing of the command stays.
    const QString error = failure([&] {
        database.execute({QStringLiteral("update fid_user set user_password='") +
                          passwordDigest("654321") +
                          QStringLiteral("' where user_name='root';update fid_set  set "
                                         "parameter='") +
                          QString(65, u'题') +
                          QStringLiteral("' where options='title';update fid_set  set "
                                         "parameter='30' where options='pagesize';")});
    });
    QVERIFY(!error.isEmpty());
    QCOMPARE(database.column(
                 QStringLiteral("SELECT user_password FROM fid_user WHERE user_name='root'")),
             QStringList{passwordDigest("480517")});
    QCOMPARE(database.column(QStringLiteral("select parameter from fid_set order by id")),
             (QStringList{QStringLiteral("Vardenix"), QStringLiteral("50")}));
}

QTEST_GUILESS_MAIN(StatementsTest)
#include "StatementsTest.moc"
