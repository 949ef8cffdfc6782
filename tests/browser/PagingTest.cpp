#include "BrowserTestSupport.h"
#include "admin/OperatorAdmin.h"
#include "browser/RecordBrowser.h"
#include "common/ErrorReport.h"
#include "common/FreshConnection.h"
#include "common/StepProgress.h"
#include "support/TestDatabase.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScopeGuard>
#include <QtTest>
#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

using Match = std::function<bool(const Record&)>;
using Before = std::function<bool(const Record&, const Record&)>;

// Page k of the records: the rows that match, after the first k pages of
// them in id order, in the chosen order.
QList<int> ExpectedPage(const QList<Record>& records, const Match& match, const Before& before,
                        int pageSize, int k)
{
    QList<Record> matching;
    for (const Record& record : records) {
        if (match(record))
            matching.append(record);
    }
    const int threshold =
        k == 0 ? 0
               : matching.at(std::min<qsizetype>(qsizetype(k) * pageSize, matching.size()) - 1).id;
    QList<Record> rest;
    for (const Record& record : matching) {
        if (record.id > threshold)
            rest.append(record);
    }
    std::stable_sort(rest.begin(), rest.end(), before);
    QList<int> ids;
    for (qsizetype i = 0; i < rest.size() && i < pageSize; ++i)
        ids.append(rest.at(i).id);
    return ids;
}

// The colour the header gives a column's title: its own, or the header's.
QColor TitleColour(TMainBox& box, int column)
{
    const QVariant own =
        RecordGrid(box)->model()->headerData(column, Qt::Horizontal, Qt::ForegroundRole);
    return own.isValid()
               ? own.value<QBrush>().color()
               : RecordGrid(box)->horizontalHeader()->palette().color(QPalette::ButtonText);
}

// Whether a section of the painted header has a pixel of the title's ink:
// near black, or near red.
bool HasInk(const QImage& header, const QRect& section, const QColor& ink)
{
    for (int y = section.top(); y <= section.bottom(); ++y) {
        for (int x = section.left(); x <= section.right(); ++x) {
            const QColor pixel = header.pixelColor(x, y);
            if (std::abs(pixel.red() - ink.red()) < 60 &&
                std::abs(pixel.green() - ink.green()) < 60 &&
                std::abs(pixel.blue() - ink.blue()) < 60)
                return true;
        }
    }
    return false;
}

const QString FirstPage =
    QStringLiteral("SELECT TOP 50 id,f_1,f_2,picname FROM fid_Main WHERE (1=1) ORDER BY id ");

} // namespace

// Paged browsing and sorting in the main window on the test's database.
class PagingTest final : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_fixture;

    QString status(TMainBox& box) { return box.StatusPanel(0)->text(); }

    void createRecords(int count)
    {
        m_fixture->createDatabase(TwoColumns(), true, false);
        InsertRecords(*m_fixture, Records(count));
    }

private slots:
    void init() { m_fixture = std::make_unique<MainWindowFixture>(); }

    void cancelledLoadLeavesThePage_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("stopped"); // the step whose progress is cancelled
        for (const char* action : {"browse", "search"})
            for (const char* stopped : {"正在读取记录", "正在统计记录"})
                QTest::addRow("%s, %s", action, stopped) << action << stopped;
        QTest::newRow("page down") << "page down"
                                   << "正在读取记录";
        QTest::newRow("sort") << "sort"
                              << "正在读取记录";
    }
    // "取消" in the progress of a page load or of its count: the grid, the
    // status line, the paging buttons and the titles stay as they were, and
    // the next command goes on from there.
    void cancelledLoadLeavesThePage()
    {
        QFETCH(QString, action);
        QFETCH(QString, stopped);
        // Pages of 2000, so that a page load and its count report their rows.
        createRecords(4500);
        m_fixture->execute({"update fid_set set parameter='2000' where options='pagesize';"});
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        const QString before = status(box);
        QCOMPARE(before, QStringLiteral("  每页2000条,共4500条记录 当前1页,共3页"));
        const QString statement = box.browser().statementText();
        // A change elsewhere, so that the browse counts again rather than
        // keep its count.
        if (stopped == u"正在统计记录")
            m_fixture->execute({QStringLiteral("update fid_main set f_2=f_2 where id=1;")});

        QStringList reported;
        // A page load is stopped once rows came in; the count, which can only
        // tell the time it waits, at its first report.
        StepProgress::setAnswerForTesting([&](const QString& what, qint64 done, qint64) {
            reported << what;
            return !(what == stopped && (done > 0 || what == u"正在统计记录"));
        });
        if (action == u"browse") {
            Button(box, "SpeedButton3")->click();
        } else if (action == u"search") {
            SetSearch(box, 1, QStringLiteral(">"), QStringLiteral("-1"));
            Button(box, "SpeedButton6")->click();
        } else if (action == u"page down") {
            Button(box, "PageDown")->click();
        } else {
            // As a click on the title reaches it.
            Guarded([&] { box.browser().sortByColumn(1); });
        }
        StepProgress::setAnswerForTesting({});

        QVERIFY(reported.contains(stopped));
        QVERIFY(m_fixture->messages().shown().isEmpty());
        QCOMPARE(status(box), before);
        QCOMPARE(box.browser().statementText(), statement);
        QCOMPARE(PageIds(box).size(), 2000);
        QCOMPARE(PageIds(box).constFirst(), 1);
        QCOMPARE(PageIds(box).constLast(), 2000);
        QVERIFY(Button(box, "PageUp")->isEnabled());
        QVERIFY(Button(box, "PageDown")->isEnabled());
        QCOMPARE(RecordGrid(box)
                     ->model()
                     ->headerData(1, Qt::Horizontal, Qt::ForegroundRole)
                     .value<QBrush>()
                     .color(),
                 QColor(Qt::black));

        Button(box, "PageDown")->click();
        QCOMPARE(status(box), QStringLiteral("  每页2000条,共4500条记录 当前2页,共3页"));
        QCOMPARE(PageIds(box).constFirst(), 2001);
        QVERIFY(m_fixture->messages().shown().isEmpty());
    }
    void cleanup() { m_fixture.reset(); }

    void countOnlyWhenTheRecordsMayHaveChanged_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("total"); // after the change
        QTest::newRow("none") << "none" << 123;
        QTest::newRow("by another program") << "another program" << 124;
        QTest::newRow("on the session that counted") << "counting session" << 122;
    }
    // The database counts the matching records. A second browse counts again
    // only when the records may have changed since the last count, by anyone,
    // the session that counted included; where the engine cannot tell (SQL
    // Server), every browse counts.
    void countOnlyWhenTheRecordsMayHaveChanged()
    {
        QFETCH(QString, change);
        QFETCH(int, total);
        createRecords(123);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        QCOMPARE(status(box), QStringLiteral("  每页50条,共123条记录 当前1页,共3页"));

        if (change == u"another program") {
            m_fixture->execute({QStringLiteral("insert into fid_main(f_1,f_2) values ('x',1);")});
        } else if (change == u"counting session") {
            // A connection made for one step takes up the session that the
            // count released.
            FreshConnection fresh(box.session().connectionString);
            fresh.query().setSql(QStringLiteral("delete from fid_main where id=7;"));
            QCOMPARE(fresh.query().execute(), 1);
        }
        SentStatements sent;
        Button(box, "SpeedButton3")->click();
        const QString count = CountHead + QStringLiteral("WHERE (1=1)");
        const bool counted = sent.browsing().contains(count);
        QCOMPARE(counted, change != u"none" || TestDatabase::onSqlServer());
        QCOMPARE(status(box), QStringLiteral("  每页50条,共%1条记录 当前1页,共3页").arg(total));
        QCOMPARE(box.browser().recordCount(), total);
    }

    void firstPage()
    {
        createRecords(123);
        TMainBox box;
        box.show();
        SentStatements sent;
        Button(box, "SpeedButton3")->click();

        QCOMPARE(sent.browsing(),
                 QStringList({FirstPage, CountHead + QStringLiteral("WHERE (1=1)")}));
        QVERIFY(m_fixture->messages().shown().isEmpty());
        QCOMPARE(status(box), QStringLiteral("  每页50条,共123条记录 当前1页,共3页"));
        QCOMPARE(PageIds(box).size(), 50);
        QCOMPARE(PageIds(box).constFirst(), 1);
        QCOMPARE(PageIds(box).constLast(), 50);
        QVERIFY(MainWindowFixture::control<QWidget>(box, "TabSheet2")->isVisible());
        QVERIFY(Button(box, "PageUp")->isEnabled());
        QVERIFY(Button(box, "PageDown")->isEnabled());
        QCOMPARE(box.browser().statementText(), FirstPage);
        QCOMPARE(box.browser().recordCount(), 123);
        QCOMPARE(box.browser().pageCount(), 3);
        // The grid shows the catalogue's columns and stands on the first row.
        QCOMPARE(RecordGrid(box)->model()->columnCount(), 2);
        QCOMPARE(RecordGrid(box)->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("数量"));
        QCOMPARE(RecordGrid(box)->currentIndex().row(), 0);
        QCOMPARE(box.browser().recordQuery().currentRow(), 0);
        QCOMPARE(RecordGrid(box)->horizontalHeader()->sectionSize(0), 100);
        QCOMPARE(RecordGrid(box)->horizontalHeader()->sectionSize(1), 60);
        QCOMPARE(RecordGrid(box)
                     ->model()
                     ->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole)
                     .value<Qt::Alignment>(),
                 Qt::Alignment(Qt::AlignCenter));
    }

    void thirdPage()
    {
        createRecords(123);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        SentStatements sent;
        Button(box, "PageDown")->click();
        Button(box, "PageDown")->click();

        QCOMPARE(sent.browsing().constLast(),
                 QStringLiteral("SELECT TOP 50 id,f_1,f_2,picname FROM fid_Main WHERE (1=1) AND "
                                "(ID >(SELECT MAX(id) FROM (SELECT TOP 100 id  FROM fid_Main "
                                "WHERE (1=1) ORDER BY id) AS T))   ORDER BY id "));
        // Steps do not count again.
        QCOMPARE(sent.browsing().size(), 2);
        QCOMPARE(PageIds(box),
                 ExpectedPage(
                     Records(123), [](const Record&) { return true; },
                     [](const Record& a, const Record& b) { return a.id < b.id; }, 50, 2));
        QCOMPARE(status(box), QStringLiteral("  每页50条,共123条记录 当前3页,共3页"));
        QVERIFY(m_fixture->messages().shown().isEmpty());
    }

    // Forward to the last page and one click beyond, then back to the first
    // and one click beyond: every page shows the rows it should.
    void stepping_data()
    {
        QTest::addColumn<bool>("search");
        QTest::addColumn<bool>("sort");
        QTest::addColumn<int>("pages");
        QTest::newRow("all records") << false << false << 4;
        QTest::newRow("search") << true << false << 3;
        QTest::newRow("sort") << false << true << 4;
        QTest::newRow("search and sort") << true << true << 3;
    }
    void stepping()
    {
        QFETCH(bool, search);
        QFETCH(bool, sort);
        QFETCH(int, pages);
        createRecords(151);
        const QList<Record> records = Records(151);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        Match match = [](const Record&) { return true; };
        Before before = [](const Record& a, const Record& b) { return a.id < b.id; };
        int matching = 151;
        if (search) {
            SetSearch(box, 1, QStringLiteral(">"), QStringLiteral("20"));
            Button(box, "SpeedButton6")->click();
            match = [](const Record& record) { return record.f2 > 20; };
            matching = 130;
        }
        if (sort) {
            box.browser().sortByColumn(1);
            before = [](const Record& a, const Record& b) { return a.f2 > b.f2; };
        }
        QVERIFY(m_fixture->messages().shown().isEmpty());
        const auto statusOf = [matching, pages](int page) {
            return QStringLiteral("  每页50条,共%1条记录 当前%2页,共%3页")
                .arg(matching)
                .arg(page)
                .arg(pages);
        };

        for (int page = 0; page < pages; ++page) {
            if (page > 0)
                Button(box, "PageDown")->click();
            QCOMPARE(PageIds(box), ExpectedPage(records, match, before, 50, page));
            QCOMPARE(status(box), statusOf(page + 1));
            QVERIFY(Button(box, "PageUp")->isEnabled());
            QVERIFY(Button(box, "PageDown")->isEnabled());
        }
        Button(box, "PageDown")->click();
        QCOMPARE(PageIds(box), ExpectedPage(records, match, before, 50, pages - 1));
        QCOMPARE(status(box), statusOf(pages));
        QVERIFY(!Button(box, "PageDown")->isEnabled());

        for (int page = pages - 2; page >= 0; --page) {
            Button(box, "PageUp")->click();
            QCOMPARE(PageIds(box), ExpectedPage(records, match, before, 50, page));
            QCOMPARE(status(box), statusOf(page + 1));
            QVERIFY(Button(box, "PageUp")->isEnabled());
            QVERIFY(Button(box, "PageDown")->isEnabled());
        }
        Button(box, "PageUp")->click();
        QCOMPARE(PageIds(box), ExpectedPage(records, match, before, 50, 0));
        QVERIFY(!Button(box, "PageUp")->isEnabled());
        QVERIFY(Button(box, "PageDown")->isEnabled());
        QVERIFY(m_fixture->messages().shown().isEmpty());
    }

    void pageCounts_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("status");
        QTest::newRow("150 records") << 150 << "  每页50条,共150条记录 当前1页,共3页";
        QTest::newRow("151 records") << 151 << "  每页50条,共151条记录 当前1页,共4页";
        QTest::newRow("one record") << 1 << "  每页50条,共1条记录 当前1页,共1页";
    }
    void pageCounts()
    {
        QFETCH(int, records);
        QFETCH(QString, status);
        createRecords(records);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        QCOMPARE(this->status(box), status);
    }

    void emptyTable()
    {
        createRecords(0);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        const QString empty = QStringLiteral("  每页50条,共0条记录 当前1页,共0页");
        QCOMPARE(status(box), empty);
        QCOMPARE(RecordGrid(box)->model()->rowCount(), 0);
        QCOMPARE(box.browser().recordQuery().currentRow(), -1);

        SentStatements sent;
        Button(box, "PageDown")->click();
        QVERIFY(!Button(box, "PageDown")->isEnabled());
        QCOMPARE(sent.browsing(), QStringList({FirstPage}));
        QCOMPARE(status(box), empty);

        Button(box, "SpeedButton3")->click();
        Button(box, "PageUp")->click();
        QVERIFY(!Button(box, "PageUp")->isEnabled());
        QVERIFY(Button(box, "PageDown")->isEnabled());
        Button(box, "PageDown")->click();
        Button(box, "PageUp")->click();
        QVERIFY(!Button(box, "PageDown")->isEnabled());
        QVERIFY(m_fixture->messages().shown().isEmpty());
    }

    // A new page size counts for the steps at once; TOP keeps the old one
    // until the next browse.
    void pageSizeChangedAfterBrowse()
    {
        createRecords(151);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        // As a confirmed settings dialog leaves it.
        emit box.admin().pageSizeChosen(20);
        SentStatements sent;
        Button(box, "PageDown")->click();
        QCOMPARE(sent.browsing(),
                 QStringList({QStringLiteral(
                     "SELECT TOP 50 id,f_1,f_2,picname FROM fid_Main WHERE (1=1) AND (ID "
                     ">(SELECT MAX(id) FROM (SELECT TOP 20 id  FROM fid_Main WHERE (1=1) ORDER "
                     "BY id) AS T))   ORDER BY id ")}));
        QCOMPARE(status(box), QStringLiteral("  每页20条,共151条记录 当前2页,共4页"));
    }

    // A statement that fails leaves the grid empty and the page line as it was.
    void failingStatement()
    {
        createRecords(10);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        const QString before = status(box);
        m_fixture->execute({QStringLiteral("drop table fid_main;")});
        Button(box, "PageDown")->click();
        QCOMPARE(m_fixture->errorTexts().size(), 1);
        QVERIFY(!box.browser().recordQuery().isOpen());
        QCOMPARE(RecordGrid(box)->model()->rowCount(), 0);
        QCOMPARE(status(box), before);
    }

    void sortStatement()
    {
        createRecords(60);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        SentStatements sent;
        box.browser().sortByColumn(1);
        QCOMPARE(sent.browsing(),
                 QStringList({QStringLiteral("SELECT TOP 50 id,f_1,f_2,picname FROM fid_Main "
                                             "WHERE (1=1) order by f_2 desc")}));
        QCOMPARE(box.browser().statement().order(), QStringLiteral(" order by f_2 desc"));
        QCOMPARE(PageIds(box),
                 ExpectedPage(
                     Records(60), [](const Record&) { return true; },
                     [](const Record& a, const Record& b) { return a.f2 > b.f2; }, 50, 0));
        QCOMPARE(TitleColour(box, 1), QColor(255, 0, 0));
        QCOMPARE(TitleColour(box, 0), QColor(Qt::black));
        QVERIFY(m_fixture->messages().shown().isEmpty());
    }

    // One direction switch for the whole grid, flipped by every click.
    void sortDirection_data()
    {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QStringList>("orders");
        QTest::newRow("f_1 twice")
            << QList<int>{0, 0} << QStringList{" order by f_1 desc", " order by f_1"};
        QTest::newRow("f_1 then f_2 then f_1")
            << QList<int>{0, 1, 0}
            << QStringList{" order by f_1 desc", " order by f_2", " order by f_1 desc"};
    }
    void sortDirection()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(QStringList, orders);
        createRecords(20);
        const QList<Record> records = Records(20);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        for (int i = 0; i < clicks.size(); ++i) {
            box.browser().sortByColumn(clicks.at(i));
            QCOMPARE(box.browser().statement().order(), orders.at(i));
            QList<Record> sorted = records;
            const bool descending = orders.at(i).endsWith(QLatin1String("desc"));
            std::sort(sorted.begin(), sorted.end(), [&](const Record& a, const Record& b) {
                const bool less = clicks.at(i) == 0 ? a.f1 < b.f1 : a.f2 < b.f2;
                const bool greater = clicks.at(i) == 0 ? b.f1 < a.f1 : b.f2 < a.f2;
                return descending ? greater : less;
            });
            QList<int> ids;
            for (const Record& record : sorted)
                ids.append(record.id);
            QCOMPARE(PageIds(box), ids);
            for (int column = 0; column < 2; ++column)
                QCOMPARE(TitleColour(box, column),
                         column == clicks.at(i) ? QColor(255, 0, 0) : QColor(Qt::black));
        }
    }

    // A browse ends the sort; a search keeps it and its red title.
    void browseEndsTheSort()
    {
        createRecords(20);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        box.browser().sortByColumn(0);
        SetSearch(box, 1, QStringLiteral(">"), QStringLiteral("5"));
        Button(box, "SpeedButton6")->click();
        QCOMPARE(box.browser().statement().order(), QStringLiteral(" order by f_1 desc"));
        QCOMPARE(TitleColour(box, 0), QColor(255, 0, 0));
        QVERIFY(
            box.browser().statementText().endsWith(QLatin1String("where f_2>5 order by f_1 desc")));

        Button(box, "SpeedButton3")->click();
        QCOMPARE(box.browser().statement().order(), QStringLiteral(" ORDER BY id "));
        QCOMPARE(TitleColour(box, 0), QColor(Qt::black));
        QCOMPARE(box.browser().recordColumns().at(0).titleColor, QColor(Qt::black));
        QCOMPARE(PageIds(box).constFirst(), 1);
    }

    // Titles are painted black, the sorted one red, whatever colour the
    // desktop gives the text of buttons.
    void titleColoursOnAnyDesktop()
    {
        createRecords(20);
        const QPalette desktop = QApplication::palette();
        const auto restore = qScopeGuard([&desktop] { QApplication::setPalette(desktop); });
        QPalette white = desktop;
        white.setColor(QPalette::ButtonText, Qt::white);
        QApplication::setPalette(white);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        box.browser().sortByColumn(1);
        QHeaderView* header = RecordGrid(box)->horizontalHeader();
        const QImage painted = header->grab().toImage();
        const auto section = [header](int column) {
            return QRect(header->sectionViewportPosition(column), 0, header->sectionSize(column),
                         header->height());
        };
        QVERIFY(HasInk(painted, section(0), Qt::black));
        QVERIFY(!HasInk(painted, section(0), Qt::red));
        QVERIFY(HasInk(painted, section(1), Qt::red));
    }

    // After a click on page 3 the status still names page 3; the next step
    // goes on to page 4 in the chosen order.
    void sortKeepsThePage()
    {
        createRecords(151);
        const QList<Record> records = Records(151);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        Button(box, "PageDown")->click();
        Button(box, "PageDown")->click();
        box.browser().sortByColumn(1);
        QCOMPARE(status(box), QStringLiteral("  每页50条,共151条记录 当前3页,共4页"));
        const Match all = [](const Record&) { return true; };
        const Before descending = [](const Record& a, const Record& b) { return a.f2 > b.f2; };
        QCOMPARE(PageIds(box), ExpectedPage(records, all, descending, 50, 0));
        Button(box, "PageDown")->click();
        QCOMPARE(PageIds(box), ExpectedPage(records, all, descending, 50, 3));
        QCOMPARE(status(box), QStringLiteral("  每页50条,共151条记录 当前4页,共4页"));
    }

    // A click on a column title of the grid sorts by that column.
    void titleClick()
    {
        createRecords(20);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        QHeaderView* header = RecordGrid(box)->horizontalHeader();
        const QPoint centre(header->sectionViewportPosition(1) + header->sectionSize(1) / 2,
                            header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
        QCOMPARE(box.browser().statement().order(), QStringLiteral(" order by f_2 desc"));
        QCOMPARE(TitleColour(box, 1), QColor(255, 0, 0));
    }

    // Chinese names sort by their pinyin, the less common characters among
    // them, in both directions.
    void titleClickSortsChineseByPinyin_data()
    {
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QStringList>("names");
        const QStringList pinyin{"阿姨", "白云", "陈晨", "李四", "亓官", "王五",
                                 "张三", "赵六", "喆",   "中心", "周八"};
        QStringList reversed = pinyin;
        std::reverse(reversed.begin(), reversed.end());
        QTest::newRow("descending") << 1 << reversed;
        QTest::newRow("ascending") << 2 << pinyin;
    }
    void titleClickSortsChineseByPinyin()
    {
        QFETCH(int, clicks);
        QFETCH(QStringList, names);
        m_fixture->createDatabase(TwoColumns(), true, false);
        QStringList lines;
        for (const char* name :
             {"中心", "张三", "李四", "亓官", "王五", "白云", "喆", "赵六", "阿姨", "周八", "陈晨"})
            lines.append(QStringLiteral("insert into fid_main(f_1) values ('%1');")
                             .arg(QString::fromUtf8(name)));
        m_fixture->execute(lines);
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        QHeaderView* header = RecordGrid(box)->horizontalHeader();
        const QPoint centre(header->sectionViewportPosition(0) + header->sectionSize(0) / 2,
                            header->height() / 2);
        for (int i = 0; i < clicks; ++i)
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
        QStringList shown;
        for (int row = 0; row < box.browser().recordQuery().recordCount(); ++row)
            shown.append(box.browser().recordQuery().rowValue(row, 1).toString());
        QCOMPARE(shown, names);
        QVERIFY(m_fixture->messages().shown().isEmpty());
    }
};

QTEST_MAIN(PagingTest)
#include "PagingTest.moc"
