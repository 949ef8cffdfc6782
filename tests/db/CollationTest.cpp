// Text sorts and compares as SQL Server's Chinese_PRC_CI_AS has it: the
// record browser's browse, search and sort statements over Chinese, Latin,
// full-width and digit values, on the embedded engine as on SQL Server.

#include "DatabaseFixture.h"
#include "browser/BrowseStatement.h"
#include "browser/SearchCondition.h"
#include "support/TestDatabase.h"

#include <QTest>
#include <algorithm>
#include <functional>
#include <optional>

namespace {

enum class Group
{
    Null,
    Empty,
    Digits,
    Latin,
    Chinese,
};

// A value of f_1 and its place in the collation's order: values of one
// group with the same rank are equal.
struct Value
{
    std::optional<QString> text;
    Group group;
    double rank = 0;
};

// Microsoft's Chinese collations put digits and Latin letters before
// Chinese characters. Server difference: the test server's collation (ICU's
// Chinese) puts Chinese characters before Latin letters.
int groupPlace(Group group)
{
    if (TestDatabase::onBabelfish() && group == Group::Latin)
        return int(Group::Chinese) + 1;
    return int(group);
}

// -1, 0 or 1 as the collation orders the two values; NULL is the lowest.
int compareValues(const Value& a, const Value& b)
{
    const int ga = groupPlace(a.group);
    const int gb = groupPlace(b.group);
    if (ga != gb)
        return ga < gb ? -1 : 1;
    return a.rank < b.rank ? -1 : (b.rank < a.rank ? 1 : 0);
}

const Value Null{std::nullopt, Group::Null};

// Every value in the order of Chinese_PRC_CI_AS; the table holds them in
// another order (see Rows).
const QList<Value> Ordered = {
    Null,
    {QStringLiteral(""), Group::Empty},
    {QStringLiteral("007"), Group::Digits, 0},
    {QStringLiteral("12"), Group::Digits, 1},
    {QStringLiteral("１２"), Group::Digits, 1}, // full-width digits
    {QStringLiteral("2"), Group::Digits, 2},
    {QStringLiteral("ab"), Group::Latin, 0},
    {QStringLiteral("ＡＢ"), Group::Latin, 0}, // full-width letters
    {QStringLiteral("AB"), Group::Latin, 0},
    {QStringLiteral("Bravo"), Group::Latin, 1},
    {QStringLiteral("cherry"), Group::Latin, 2},
    {QStringLiteral("ＤＥＬＴＡ"), Group::Latin, 3},
    {QStringLiteral("école"), Group::Latin, 4},
    {QStringLiteral("Fox"), Group::Latin, 5},
    {QStringLiteral("fox  "), Group::Latin, 5}, // trailing blanks are not compared
    {QStringLiteral("阿姨"), Group::Chinese, 0},
    {QStringLiteral("白云"), Group::Chinese, 1},
    {QStringLiteral("陈晨"), Group::Chinese, 2},
    {QStringLiteral("李四"), Group::Chinese, 3},
    {QStringLiteral("亓官"), Group::Chinese, 4}, // second level of GBK
    {QStringLiteral("王五"), Group::Chinese, 5},
    {QStringLiteral("张三"), Group::Chinese, 6},
    {QStringLiteral("赵六"), Group::Chinese, 7},
    {QStringLiteral("喆"), Group::Chinese, 8}, // beyond GB2312
    {QStringLiteral("中心"), Group::Chinese, 9},
    {QStringLiteral("周八"), Group::Chinese, 10},
};

// The rows by id (1 first): the ordered values dealt out of order, so that
// neither the id nor the code points give the collation's order.
QList<Value> Rows()
{
    QList<Value> rows;
    const qsizetype count = Ordered.size();
    for (qsizetype i = 0; i < count; ++i)
        rows.append(Ordered.at(i * 7 % count)); // 7 shares no factor with the count
    return rows;
}

QStringList InsertRows()
{
    QStringList lines;
    for (const Value& value : Rows())
        lines.append(QStringLiteral("insert into fid_Main(f_1,f_2) values (%1,1);")
                         .arg(value.text ? u'\'' + *value.text + u'\'' : QStringLiteral("NULL")));
    return lines;
}

using Match = std::function<bool(const Value&)>;

// Server difference: the test server's <, >, <= and >= compare text in
// another order than its ORDER BY sorts it: Chinese characters after Latin
// letters and in the order of their code points, not of their pinyin.
int compareAsServerDoes(const QString& op, const Value& a, const Value& b)
{
    if (!TestDatabase::onBabelfish() || op == u"=" || op == u"<>")
        return compareValues(a, b);
    if (a.group != b.group)
        return a.group < b.group ? -1 : 1;
    if (a.group == Group::Chinese)
        return a.text->compare(*b.text);
    return a.rank < b.rank ? -1 : (b.rank < a.rank ? 1 : 0);
}

// The comparison "f_1 op key" for a key at that place in the order.
Match Compares(const QString& op, const Value& key)
{
    return [op, key](const Value& value) {
        if (!value.text)
            return false;
        const int c = compareAsServerDoes(op, value, key);
        if (op == u"=")
            return c == 0;
        if (op == u"<>")
            return c != 0;
        if (op == u"<")
            return c < 0;
        if (op == u">")
            return c > 0;
        if (op == u"<=")
            return c <= 0;
        return c >= 0;
    };
}

Match OneOf(const QStringList& texts)
{
    return [texts](const Value& value) { return value.text && texts.contains(*value.text); };
}

const Match All = [](const Value&) { return true; };

enum class Order
{
    Id,
    Ascending,
    Descending,
};

// The rows a page draws on, as the browse statement defines it: the matching
// rows after the first pageIndex pages of them in id order, in the order.
QList<qsizetype> ExpectedRows(const Match& match, Order order, int pageSize, int pageIndex)
{
    const QList<Value> rows = Rows();
    QList<qsizetype> matching;
    for (qsizetype i = 0; i < rows.size(); ++i)
        if (match(rows.at(i)))
            matching.append(i);
    const qsizetype skipped = std::min<qsizetype>(qsizetype(pageSize) * pageIndex, matching.size());
    QList<qsizetype> rest = matching.mid(skipped);
    if (order != Order::Id)
        std::stable_sort(rest.begin(), rest.end(), [&](qsizetype a, qsizetype b) {
            const int c = compareValues(rows.at(a), rows.at(b));
            return order == Order::Ascending ? c < 0 : c > 0;
        });
    return rest;
}

// The values of the rows, as text, and NULL as "NULL".
QStringList Texts(const QList<qsizetype>& rows)
{
    const QList<Value> values = Rows();
    QStringList texts;
    for (const qsizetype row : rows) {
        const Value& value = values.at(row);
        texts.append(value.text ? *value.text : QStringLiteral("NULL"));
    }
    return texts;
}

// Whether the page holds the first pageSize of the expected rows in their
// order; rows that the collation holds equal may stand in for one another.
bool SamePage(const QList<qsizetype>& page, const QList<qsizetype>& expected, int pageSize)
{
    if (page.size() != std::min<qsizetype>(pageSize, expected.size()))
        return false;
    const QList<Value> rows = Rows();
    for (qsizetype i = 0; i < page.size(); ++i)
        if (!expected.contains(page.at(i)) || page.indexOf(page.at(i)) != i ||
            compareValues(rows.at(page.at(i)), rows.at(expected.at(i))) != 0)
            return false;
    return true;
}

const QString Columns = QStringLiteral("f_1,f_2,f_3,picname,docname");

} // namespace

Q_DECLARE_METATYPE(Match)
Q_DECLARE_METATYPE(Order)

class CollationTest : public QObject
{
    Q_OBJECT

    std::optional<FreshDatabase> m_database;

    // Empty when the statement gives the expected page, else what it gives.
    QString pageMismatch(const QString& statement, const QList<qsizetype>& expected,
                         int pageSize = 50)
    {
        QList<qsizetype> rows;
        for (const QString& id : m_database->column(statement))
            rows.append(id.toInt() - 1);
        if (SamePage(rows, expected, pageSize))
            return QString();
        return statement + QStringLiteral("\n got:      ") + Texts(rows).join(u' ') +
               QStringLiteral("\n expected: ") + Texts(expected).join(u' ');
    }

private slots:
    void initTestCase()
    {
        m_database.emplace();
        m_database->execute(standardFirstRun());
        m_database->execute(InsertRows());
    }
    void cleanupTestCase() { m_database.reset(); }

    // A title click sorts the first page, and the pages after it, in either
    // direction.
    void sort_data()
    {
        QTest::addColumn<int>("clicks");
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("pageIndex");
        QTest::addColumn<Order>("order");
        QTest::newRow("descending") << 1 << 50 << 0 << Order::Descending;
        QTest::newRow("ascending") << 2 << 50 << 0 << Order::Ascending;
        QTest::newRow("descending, page 2") << 1 << 10 << 1 << Order::Descending;
        QTest::newRow("ascending, page 2") << 2 << 10 << 1 << Order::Ascending;
    }
    void sort()
    {
        QFETCH(int, clicks);
        QFETCH(int, pageSize);
        QFETCH(int, pageIndex);
        QFETCH(Order, order);
        BrowseStatement statement;
        statement.browseAll(pageSize, Columns);
        for (int i = 0; i < clicks; ++i)
            statement.sortBy(QStringLiteral("f_1"));
        QString mismatch = pageMismatch(statement.page(pageSize, pageIndex),
                                        ExpectedRows(All, order, pageSize, pageIndex), pageSize);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        mismatch =
            pageMismatch(statement.firstSorted(), ExpectedRows(All, order, pageSize, 0), pageSize);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    // Each operator of the search on the text column: the count, the page in
    // id order, and the page sorted both ways.
    void search_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("key");
        QTest::addColumn<Match>("match");

        const auto latin = [](double rank) { return Value{QString(), Group::Latin, rank}; };
        const auto chinese = [](const char* text) {
            return *std::find_if(Ordered.cbegin(), Ordered.cend(), [text](const Value& value) {
                return value.text == QString::fromUtf8(text);
            });
        };
        const auto digits = [](double rank) { return Value{QString(), Group::Digits, rank}; };
        const Value empty{QString(), Group::Empty};

        // LIKE keeps its own rules: case-insensitive for ASCII letters only,
        // on SQL Server too for full-width ones.
        QTest::newRow("包含, Chinese") << "包含"
                                       << "三" << OneOf({"张三"});
        QTest::newRow("包含, Latin in either case") << "包含"
                                                    << "B" << OneOf({"ab", "AB", "Bravo"});
        QTest::newRow("包含, second-level character") << "包含"
                                                      << "亓" << OneOf({"亓官"});
        QTest::newRow("> Chinese") << ">"
                                   << "李四" << Compares(">", chinese("李四"));
        QTest::newRow("> empty") << ">"
                                 << "" << Compares(">", empty);
        QTest::newRow("< Latin") << "<"
                                 << "b" << Compares("<", latin(0.5));
        QTest::newRow("< Chinese, second level") << "<"
                                                 << "亓官" << Compares("<", chinese("亓官"));
        QTest::newRow(">= beyond GB2312") << ">="
                                          << "喆" << Compares(">=", chinese("喆"));
        QTest::newRow(">= full-width digits") << ">="
                                              << "１２" << Compares(">=", digits(1));
        QTest::newRow("<= upper case") << "<="
                                       << "CHERRY" << Compares("<=", latin(2));
        QTest::newRow("<= full-width key") << "<="
                                           << "ｄｅｌｔａ" << Compares("<=", latin(3));
        QTest::newRow("= without case") << "="
                                        << "aB" << Compares("=", latin(0));
        QTest::newRow("= without width") << "="
                                         << "ＡＢ" << Compares("=", latin(0));
        QTest::newRow("= full-width digits") << "="
                                             << "１２" << Compares("=", digits(1));
        QTest::newRow("= with accents") << "="
                                        << "ecole" << OneOf({});
        QTest::newRow("= Chinese") << "="
                                   << "中心" << Compares("=", chinese("中心"));
        QTest::newRow("= empty") << "="
                                 << "" << Compares("=", empty);
        QTest::newRow("= trailing blanks") << "="
                                           << "FOX " << Compares("=", latin(5));
        QTest::newRow("<> without width") << "<>"
                                          << "ａｂ" << Compares("<>", latin(0));
        QTest::newRow("<> Chinese") << "<>"
                                    << "喆" << Compares("<>", chinese("喆"));
    }
    void search()
    {
        QFETCH(QString, op);
        QFETCH(QString, key);
        QFETCH(Match, match);
        const QString condition = SearchCondition(QStringLiteral("f_1"), op, key);
        QVERIFY2(!condition.contains(QLatin1String("tsql_number")) && !KeyIsNumber(key),
                 qPrintable(condition));

        BrowseStatement statement;
        statement.search(50, Columns, condition);
        QString mismatch =
            pageMismatch(statement.page(50, 0), ExpectedRows(match, Order::Id, 50, 0));
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        QCOMPARE(m_database->count(QStringLiteral("select id from  fid_Main ") + condition),
                 int(ExpectedRows(match, Order::Id, 50, 0).size()));
        const Order orders[] = {Order::Descending, Order::Ascending};
        for (const Order order : orders) {
            statement.sortBy(QStringLiteral("f_1"));
            mismatch = pageMismatch(statement.page(50, 0), ExpectedRows(match, order, 50, 0));
            QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        }
        // Page 2 of four rows a page, the sort kept.
        statement.search(4, Columns, condition);
        mismatch =
            pageMismatch(statement.page(4, 1), ExpectedRows(match, Order::Ascending, 4, 1), 4);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }
};

QTEST_MAIN(CollationTest)
#include "CollationTest.moc"
