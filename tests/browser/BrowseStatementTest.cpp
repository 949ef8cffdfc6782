#include "browser/BrowseStatement.h"

#include <QtTest>
#include <functional>

namespace {

const QString Columns = QStringLiteral("f_1,f_2,picname");

// The id window of page k of 50-record pages.
QString Window(qint64 skipped, const QString& condition)
{
    return QStringLiteral(" AND (ID >(SELECT MAX(id) FROM (SELECT TOP %1 id  FROM fid_Main %2 "
                          "ORDER BY id) AS T))  ")
        .arg(skipped)
        .arg(condition);
}

using Steps = std::function<void(BrowseStatement&)>;

} // namespace

Q_DECLARE_METATYPE(Steps)

// The statement texts the record browser sends, from each sequence of
// operator steps; the server sees these exact texts.
class BrowseStatementTest final : public QObject
{
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<int>("pageIndex");
        QTest::addColumn<QString>("expected");

        const QString all = QStringLiteral("WHERE (1=1)");
        const QString head =
            QStringLiteral("SELECT TOP 50 id,") + Columns + QStringLiteral(" FROM fid_Main ");
        const QString search = QStringLiteral("where f_2>5");
        const auto browse = [](BrowseStatement& s) { s.browseAll(50, Columns); };
        const auto find = [search](BrowseStatement& s) { s.search(50, Columns, search); };

        QTest::newRow("first page") << Steps(browse) << 0 << head + all + " ORDER BY id ";
        QTest::newRow("page 2") << Steps(browse) << 1
                                << head + all + Window(50, all) + " ORDER BY id ";
        QTest::newRow("page 3") << Steps(browse) << 2
                                << head + all + Window(100, all) + " ORDER BY id ";
        // Before any browse there is no order yet: a blank keeps a number at
        // the condition's end apart from "order".
        QTest::newRow("search first") << Steps(find) << 0 << head + search + " order by id ";
        QTest::newRow("search after a browse keeps its order") << Steps([=](BrowseStatement& s) {
            browse(s);
            find(s);
        }) << 1 << head + search + Window(50, search) + " ORDER BY id ";
        QTest::newRow("search keeps a sort") << Steps([=](BrowseStatement& s) {
            browse(s);
            s.sortBy(QStringLiteral("f_1"));
            find(s);
        }) << 0 << head + search + " order by f_1 desc";
        QTest::newRow("browse ends search and sort") << Steps([=](BrowseStatement& s) {
            find(s);
            s.sortBy(QStringLiteral("f_1"));
            browse(s);
        }) << 0 << head + all + " ORDER BY id ";
        // A huge page size on a late page is counted in 64 bits.
        QTest::newRow("skip beyond 32 bits")
            << Steps([](BrowseStatement& s) { s.browseAll(2000000000, Columns); }) << 3
            << QStringLiteral("SELECT TOP 2000000000 id,") + Columns +
                   QStringLiteral(" FROM fid_Main ") + all + Window(6000000000, all) +
                   " ORDER BY id ";
    }
    void texts()
    {
        QFETCH(Steps, steps);
        QFETCH(int, pageIndex);
        QFETCH(QString, expected);
        BrowseStatement statement;
        steps(statement);
        // The window counts pages of the size the page head names.
        const int pageSize = expected.section(QLatin1Char(' '), 2, 2).toInt();
        QCOMPARE(statement.page(pageSize, pageIndex), expected);
    }

    // Each click flips the direction; the sorted page has no id window.
    void sortFlips()
    {
        BrowseStatement statement;
        statement.browseAll(50, Columns);
        const QString head =
            QStringLiteral("SELECT TOP 50 id,f_1,f_2,picname FROM fid_Main WHERE (1=1)");
        const QStringList expected{head + " order by f_2 desc", head + " order by f_2",
                                   head + " order by f_1 desc", head + " order by f_1"};
        QStringList sorted;
        for (const char* field : {"f_2", "f_2", "f_1", "f_1"}) {
            statement.sortBy(QString::fromLatin1(field));
            sorted << statement.firstSorted();
        }
        QCOMPARE(sorted, expected);
    }
};

QTEST_GUILESS_MAIN(BrowseStatementTest)
#include "BrowseStatementTest.moc"
