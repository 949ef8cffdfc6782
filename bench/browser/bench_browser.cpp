// Times the record browser's handlers in the main window on embedded tables
// of 10,000, 100,000 and 1,000,000 records (ten columns: text, integer and
// real, and thumbnails on the first pages) as the operator waits for them:
// until the grid's rows and the strip's thumbnail are painted. The reference
// is a plain client: the SQLite C API running the same statements,
// translated, on a connection opened as the program's engine opens its own,
// each page kept in one buffer and shown by a plain Qt table model and view
// and a label, painted the same way (bench/PlainWindow.h). Beside each case,
// the engine alone: the handler with its painting outside the time, against
// the raw reading of the same rows. Both sides run interleaved in pairs until
// the median is steady; each line gives the pairs, the median times and the
// minimum and median of the paired ratios (program / reference). A page of
// 999,999 rows is measured in a process of its own: its time and the
// resident memory it adds while shown and on reloads.
//
//   bench_browser [folder [records...]]   databases are built in folder/<records>
//                                         (default: a temp folder; 10000 100000 1000000)

#include "app/Main.h"
#include "attachments/AttachmentStrip.h"
#include "bench/BenchSupport.h"
#include "bench/PlainWindow.h"
#include "browser/CsvFile.h"
#include "browser/RecordBrowser.h"
#include "common/FileDialogs.h"
#include "common/MessageBox.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/ResultRows.h"
#include "platform/db/SqliteDialect.h"
#include "platform/grid/DataGrid.h"
#include "platform/paths/ProgramPaths.h"
#include "platform/pictures/Bitmap.h"
#include "signin/Initdb.h"
#include "signin/Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <iconv.h>
#include <sqlite3.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace bench;

constexpr int PageSize = 50;
constexpr int BigPageSize = 999999;
// Pages whose records have thumbnails: more than the strip keeps pictures
// of, so that a walk over them shows each thumbnail for the first time.
constexpr int ThumbnailPages = 12;
const QSize Thumb(124, 73);
// The table's varchar columns, which the program's statements compare and
// sort by the engine's collation.
const QSet<QString> TextColumns = {QStringLiteral("f_1"), QStringLiteral("f_4"),
                                   QStringLiteral("f_7"), QStringLiteral("f_10")};
// Most cases run at least 15 pairs and stop when steady, or at 400 pairs or
// 15 s; the 999,999-row page runs fewer, longer pairs.
const Pairs Usual{15, 400, 15000};
const Pairs BigPage{5, 400, 25000};

QString connectionString()
{
    return QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=bench;Data Source=(localdb);"
                          "Password=;Persist Security Info=True;User ID=sa");
}

void execute(const QStringList& lines, const QByteArray& file = QByteArray())
{
    db::Connection connection(connectionString());
    db::Query query(connection);
    for (const QString& line : lines)
        query.addSql(line);
    if (!file.isNull())
        query.setFileParameter(file);
    query.execute();
}

// Ten columns of the three types and the attachment columns, designed as the
// first run does it; the rows of the first pages have thumbnails, each its
// own.
void build(int records)
{
    std::printf("building %d records\n", records);
    std::fflush(stdout);
    const QString mainTable = QStringLiteral(
        "create table fid_main(id int NOT NULL IDENTITY (1, 1),f_1 varchar(20),f_2 int,f_3 float,"
        "f_4 varchar(40),f_5 int,f_6 float,f_7 varchar(20),f_8 int,f_9 float,f_10 varchar(10),"
        "pic image,picmin image,picname varchar(240),doc image,docname varchar(240));");
    QString titleTable = QStringLiteral("create table fid_title(id int NOT NULL IDENTITY (1, 1),"
                                        "title varchar(48), cLength integer);");
    const QList<QPair<QString, int>> titles = {
        {"名称", 20}, {"数量", 10}, {"单价", 10}, {"客户", 40}, {"天数", 10},
        {"金额", 10}, {"城市", 20}, {"编号", 10}, {"折扣", 10}, {"代码", 10}};
    for (const auto& [title, length] : titles)
        titleTable += QStringLiteral("insert into fid_title(title,cLength) values ('%1',%2);")
                          .arg(title)
                          .arg(length);
    titleTable += QStringLiteral("insert into fid_title(title,cLength) values ('pic',1);"
                                 "insert into fid_title(title,cLength) values ('dbfile',1);");
    execute(FirstRunBatch(mainTable, titleTable));
    execute(
        {QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM n WHERE x<%1) "
                        "INSERT INTO fid_main(f_1,f_2,f_3,f_4,f_5,f_6,f_7,f_8,f_9,f_10,picname) "
                        "SELECT 'record '||x, x*7%1000, x/4.0, 'customer '||(x*31%100000), x%365, "
                        "x*1.5, 'city '||(x%500), x, (x%1000)/8.0, 'k'||(x%97), "
                        "CASE WHEN x<=%2 THEN 'C:\\\\Pics\\\\p'||x||'.jpg' END FROM n")
             .arg(records)
             .arg(ThumbnailPages * PageSize)});
    for (int id = 1; id <= ThumbnailPages * PageSize; ++id) {
        QImage thumbnail(Thumb, QImage::Format_RGB32);
        thumbnail.fill(QColor::fromHsv(id * 7 % 360, 200, 200));
        execute({QStringLiteral("update fid_main set picmin=:file where id=%1").arg(id)},
                pictures::encodeBmp(thumbnail));
    }
}

void check(bool condition, const char* what)
{
    if (!condition)
        qFatal("wrong result: %s", what);
}

// The same file through the SQLite C API.
struct RawDatabase
{
    sqlite3* handle = nullptr;
    sqlite3_stmt* thumbnailStatement = nullptr;

    explicit RawDatabase(const QString& path) : handle(openLikeProgram(path))
    {
        sqlite3_prepare_v2(handle, "select picmin from fid_Main where id=?1", -1,
                           &thumbnailStatement, nullptr);
    }
    ~RawDatabase()
    {
        sqlite3_finalize(thumbnailStatement);
        sqlite3_close(handle);
    }
    RawDatabase(const RawDatabase&) = delete;
    RawDatabase& operator=(const RawDatabase&) = delete;

    // The SQLite text of each statement, translated once as the program's
    // engine translates it: the raw side does not pay for the translation.
    QHash<QString, QByteArray> translated;

    sqlite3_stmt* prepare(const QString& statement)
    {
        auto known = translated.constFind(statement);
        if (known == translated.constEnd())
            known = translated.insert(
                statement, db::sqlite::translateBatch(statement, TextColumns).first().toUtf8());
        const QByteArray& sql = *known;
        sqlite3_stmt* prepared = nullptr;
        if (sqlite3_prepare_v2(handle, sql.constData(), static_cast<int>(sql.size()), &prepared,
                               nullptr) != SQLITE_OK)
            qFatal("raw prepare failed: %s", sqlite3_errmsg(handle));
        return prepared;
    }

    Page page(const QString& statement) { return takePage(prepare(statement)); }

    // What a page's load reads: its rows, the first row's thumbnail when it
    // has a picture, and the count of countStatement's rows when one is
    // given; the rows.
    std::size_t read(const QString& statement, const QString& countStatement = QString())
    {
        const Page rows = page(statement);
        if (rows.size() > 0 && !rows.value(0, rows.column("picname")).bytes.empty())
            thumbnail(rows.value(0, rows.column("id")).integer);
        if (!countStatement.isEmpty())
            count(countStatement);
        return rows.size();
    }

    int count(const QString& statement)
    {
        sqlite3_stmt* prepared = prepare(statement);
        int count = 0;
        while (sqlite3_step(prepared) == SQLITE_ROW)
            ++count;
        sqlite3_finalize(prepared);
        return count;
    }

    // A record's thumbnail by a statement kept prepared, as a careful client
    // reads one on each move.
    QByteArray thumbnail(qint64 id)
    {
        sqlite3_bind_int64(thumbnailStatement, 1, id);
        QByteArray bytes;
        if (sqlite3_step(thumbnailStatement) == SQLITE_ROW)
            bytes = QByteArray(static_cast<const char*>(sqlite3_column_blob(thumbnailStatement, 0)),
                               sqlite3_column_bytes(thumbnailStatement, 0));
        sqlite3_reset(thumbnailStatement);
        return bytes;
    }
};

void prepareSettings(const QString& folder)
{
    WriteConnectionSettings(QStringLiteral("(localdb)"), QStringLiteral("sa"),
                            QStringLiteral("1433"), QStringLiteral("bench"), QString());
    WriteOperatorName(QStringLiteral("root"));
    MessageBox::setResponder([](const MessageBox::Shown& shown) {
        if (shown.flags & MessageBox::ErrorIcon)
            qFatal("error: %s", qPrintable(shown.text));
        return MessageBox::IdOk;
    });
    const QString csvPath = folder + QStringLiteral("/export");
    FileDialogs::setChooser([csvPath](const FileDialogs::Request&) { return csvPath; });
}

// The page size the main window reads from the settings table when it opens.
void setPageSize(int rows)
{
    execute(
        {QStringLiteral("update fid_set set parameter='%1' where options='pagesize'").arg(rows)});
}

QString databasePath()
{
    return ProgramPaths::folder() + QStringLiteral("bench.db");
}

// The bytes the table's rows take in the file, without the thumbnails, which
// the page does not show; the file's size when SQLite has no dbstat table.
qint64 rowBytesInFile()
{
    RawDatabase raw(databasePath());
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(raw.handle,
                       "SELECT (SELECT sum(pgsize) FROM dbstat WHERE name='fid_main') - "
                       "(SELECT sum(length(picmin)) FROM fid_main)",
                       -1, &statement, nullptr);
    qint64 bytes = -1;
    if (statement && sqlite3_step(statement) == SQLITE_ROW)
        bytes = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return bytes > 0 ? bytes : QFileInfo(databasePath()).size();
}

// The main window and the plain client beside it, both showing the first
// page; the program's painting is checked to be done when a run ends.
struct Windows
{
    TMainBox box;
    RawDatabase raw{databasePath()};
    std::unique_ptr<PlainClient> plain;

    Windows()
    {
        box.show();
        paintPending();
        auto* grid = box.findChild<QTableView*>(QStringLiteral("DBGrid1"));
        const auto* thumbnail = box.findChild<QLabel*>(QStringLiteral("ImagePic"));
        PaintWatch rows(grid->viewport());
        box.browser().browseAll();
        paintPending();
        check(rows.count > 0, "the grid painted");
        plain = std::make_unique<PlainClient>(
            PlainClient::Reader{[this](const QString& statement) { return raw.page(statement); },
                                [this](const QString& statement) { return raw.count(statement); },
                                [this](qint64 id) { return raw.thumbnail(id); }},
            *grid, *thumbnail, box.browser().recordColumns());
        plain->show(box.browser().statementText());
        paintPending();
    }
};

// The page of 999,999 rows: first its time beside the plain client's
// reading and showing of the same rows and the count, then, with nothing
// else in the process, the resident memory it adds while shown and after
// two reloads.
int measureBigPage(const QString& folder, int records)
{
    prepareSettings(folder);
    setPageSize(BigPageSize);
    const int shown = std::min(records, BigPageSize);
    const QString countAll = QStringLiteral("select id from  fid_Main WHERE (1=1)");
    {
        Windows windows;
        RecordBrowser& browser = windows.box.browser();
        const QString statement = browser.statementText();
        const auto program = [&browser, shown] {
            browser.browseAll();
            check(browser.recordQuery().recordCount() == shown, "big page");
        };
        const QByteArray name = "999,999-row page (" + QByteArray::number(shown) + " rows)";
        comparePainted(
            name.constData(), BigPage, program,
            [&] {
                windows.plain->show(statement, countAll);
                check(windows.plain->page().size() == static_cast<std::size_t>(shown),
                      "plain big page");
            },
            "  (target <= 1.3)");
        printPaired("  engine only", runPaired(
                                         BigPage, program,
                                         [&] {
                                             check(windows.raw.read(statement, countAll) ==
                                                       static_cast<std::size_t>(shown),
                                                   "raw big page");
                                         },
                                         paintPending, 1));
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--big-page-memory"), folder, QString::number(records)});
    child.waitForFinished(-1);
    setPageSize(PageSize);
    return child.exitCode();
}

int measureBigPageMemory(const QString& folder, int records)
{
    prepareSettings(folder);
    const double fileMb = static_cast<double>(rowBytesInFile()) / 1048576.0;
    TMainBox box;
    box.show();
    QCoreApplication::processEvents();
    const long empty = statusKb("VmRSS:");
    // The first page a window shows costs what any page does the first time
    // (the session and its cache, the grid's first painting): a search for
    // a few records shows one before the big page is measured.
    box.findChild<QComboBox*>(QStringLiteral("Com11"))->setCurrentIndex(0);
    auto* operators = box.findChild<QComboBox*>(QStringLiteral("Com12"));
    operators->setCurrentIndex(operators->findText(QStringLiteral("=")));
    box.findChild<QLineEdit*>(QStringLiteral("EKey"))->setText(QStringLiteral("record 77"));
    box.browser().search();
    QCoreApplication::processEvents();
    const int found = box.browser().recordCount();
    check(found == 1, "one record found");
    const long before = statusKb("VmRSS:");
    const auto load = [&box, before] {
        box.browser().browseAll();
        QCoreApplication::processEvents();
        return (statusKb("VmRSS:") - before) / 1024.0;
    };
    const double first = load();
    load();
    const double third = load();
    const double peak = (peakMemoryKb() - before) / 1024.0;
    std::printf("  memory of the %d-row page: %.1f MB added while shown = %.2fx the rows' %.1f "
                "MB in the file (target <= 2x); peak %.1f MB; after two reloads %+.1f MB "
                "(target: no growth); the first page shown, of %d record, added %.1f MB\n",
                std::min(records, BigPageSize), first, first / fileMb, fileMb, peak, third - first,
                found, (before - empty) / 1024.0);

    // The export writes every row of the page; its peak is what it adds to
    // the page shown.
    const long shown = statusKb("VmRSS:");
    bench::resetPeakMemory();
    box.browser().exportPage();
    std::printf("  CSV export of the page: peak %.1f MB above the page shown, file %.1f MB\n",
                (peakMemoryKb() - shown) / 1024.0,
                QFileInfo(folder + QStringLiteral("/export.csv")).size() / 1048576.0);
    std::fflush(stdout);
    return 0;
}

// The page as the program's CSV export writes it, from the rows the plain
// client holds: a line of the titles, then a line of each row, every field
// followed by a comma, a field holding a comma, a double quote, CR or LF
// quoted with its double quotes doubled, lines ended by CR LF, in GBK through
// iconv 64 KB at a time; into a file beside the target that replaces it once
// it is on the disk, as the program's QSaveFile does.
void writeCsv(const PlainClient& plain, const QString& target)
{
    const QByteArray path = QFile::encodeName(target);
    const QByteArray writing = path + ".new";
    const int file = ::open(writing.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    iconv_t toGbk = iconv_open("GBK", "UTF-8");
    std::string text;
    std::string gbk;
    const auto flush = [&] {
        gbk.resize(text.size());
        char* in = text.data();
        std::size_t inLeft = text.size();
        char* out = gbk.data();
        std::size_t outLeft = gbk.size();
        iconv(toGbk, &in, &inLeft, &out, &outLeft);
        check(inLeft == 0, "GBK text");
        check(::write(file, gbk.data(), gbk.size() - outLeft) ==
                  static_cast<ssize_t>(gbk.size() - outLeft),
              "CSV written");
        text.clear();
    };
    const auto field = [&text](std::string_view value) {
        if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
            text.append(value);
        } else {
            text += '"';
            for (const char c : value) {
                if (c == '"')
                    text += '"';
                text += c;
            }
            text += '"';
        }
        text += ',';
    };
    for (const grid::Column& column : plain.columns())
        field(column.title.toStdString());
    text += "\r\n";
    const Page& page = plain.page();
    char number[32];
    for (std::size_t row = 0; row < page.size(); ++row) {
        for (const int column : plain.shownColumns()) {
            const Page::Value value = page.value(row, column);
            switch (value.tag) {
            case Page::Tag::Null:
                text += ',';
                break;
            case Page::Tag::Integer:
                text.append(number,
                            std::to_chars(number, number + sizeof number, value.integer).ptr);
                text += ',';
                break;
            case Page::Tag::Real:
                text.append(number, std::to_chars(number, number + sizeof number, value.real,
                                                  std::chars_format::general, 15)
                                        .ptr);
                text += ',';
                break;
            case Page::Tag::Bytes:
                field(value.bytes);
                break;
            }
        }
        text += "\r\n";
        if (text.size() >= 64 * 1024)
            flush();
    }
    flush();
    iconv_close(toGbk);
    ::fsync(file);
    ::close(file);
    ::rename(writing.constData(), path.constData());
}

int measure(const QString& folder, int records)
{
    prepareSettings(folder);
    setPageSize(PageSize);
    const QString csvPath = folder + QStringLiteral("/export");
    Windows windows;
    TMainBox& box = windows.box;
    RawDatabase& raw = windows.raw;
    PlainClient& plain = *windows.plain;
    RecordBrowser& browser = box.browser();
    const auto statementOf = [&browser](int pageIndex) {
        return browser.statement().page(PageSize, pageIndex);
    };
    const QString countAll = QStringLiteral("select id from  fid_Main WHERE (1=1)");
    const QString firstPage = statementOf(0);

    const auto browse = [&] {
        browser.browseAll();
        check(browser.recordCount() == records, "count");
    };
    comparePainted(
        "browse: page 1 and count", Usual, browse,
        [&] {
            plain.show(firstPage, countAll);
            check(plain.page().size() == PageSize, "plain page");
        },
        "  (target <= 1.3)");
    compareEngine(Usual, browse,
                  [&] { check(raw.read(firstPage, countAll) == PageSize, "raw page"); });

    const QString secondPage = statementOf(1);
    const auto stepToSecond = [&] {
        browser.nextPage();
        check(browser.recordQuery().rowValue(0, 0).toInt() == PageSize + 1, "first id");
    };
    const auto backToFirst = [&] {
        if (browser.pageIndex() != 0)
            browser.showPage(0);
        plain.showAgain(firstPage);
    };
    comparePainted(
        "step to page 2", Usual, stepToSecond, [&] { plain.show(secondPage); }, "  (target <= 1.3)",
        backToFirst);
    compareEngine(
        Usual, stepToSecond, [&] { check(raw.read(secondPage) == PageSize, "raw page"); },
        backToFirst);

    const int lastPage = records / PageSize;
    const QString lastStatement = statementOf(lastPage - 1);
    const QString beforeLast = statementOf(lastPage - 2);
    const QByteArray lastName = "step to the last page (" + QByteArray::number(lastPage) + ")";
    const auto stepToLast = [&] {
        browser.nextPage();
        check(browser.recordQuery().recordCount() == PageSize, "page");
    };
    const auto backBeforeLast = [&] {
        if (browser.pageIndex() != lastPage - 2)
            browser.showPage(lastPage - 2);
        plain.showAgain(beforeLast);
    };
    comparePainted(
        lastName.constData(), Usual, stepToLast, [&] { plain.show(lastStatement); },
        "  (target <= 1.3)", backBeforeLast);
    compareEngine(
        Usual, stepToLast, [&] { check(raw.read(lastStatement) == PageSize, "raw page"); },
        backBeforeLast);

    auto* columns = box.findChild<QComboBox*>(QStringLiteral("Com11"));
    auto* operators = box.findChild<QComboBox*>(QStringLiteral("Com12"));
    auto* key = box.findChild<QLineEdit*>(QStringLiteral("EKey"));
    const auto search = [&](const char* name, int column, const QString& op, const QString& text) {
        int matches = -1;
        const auto program = [&] {
            columns->setCurrentIndex(column);
            operators->setCurrentIndex(operators->findText(op));
            key->setText(text);
            browser.search();
            check(matches < 0 || browser.recordCount() == matches, "matches");
        };
        const auto countMatches = [&] {
            return QStringLiteral("select id from  fid_Main ") + browser.statement().condition();
        };
        comparePainted(
            name, Usual, program,
            [&] { matches = plain.show(browser.statementText(), countMatches()); },
            "  (target <= 1.3)");
        compareEngine(Usual, program, [&] { raw.read(browser.statementText(), countMatches()); });
    };
    browser.browseAll();
    search("search 包含 and count", 3, QStringLiteral("包含"), QStringLiteral("1234"));
    search("search = and count", 1, QStringLiteral("="), QStringLiteral("77"));

    // The program flips the direction on every click; a click outside the
    // times turns it back to descending before each, so that every measured
    // click sorts ascending, as the reference does.
    const auto sortCase = [&](const char* name, int column) {
        const auto descending = [&] {
            if (!browser.statement().order().endsWith(QStringLiteral("desc")))
                browser.sortByColumn(column);
        };
        browser.browseAll();
        descending();
        const QString sortedDescending = browser.statementText();
        browser.sortByColumn(column);
        const QString sorted = browser.statementText();
        check(!sorted.endsWith(QStringLiteral("desc")), "ascending sort");
        descending();
        const auto program = [&] {
            browser.sortByColumn(column);
            check(browser.statementText() == sorted, "same sort");
        };
        const auto reset = [&] {
            descending();
            plain.showAgain(sortedDescending);
        };
        comparePainted(
            name, Usual, program, [&] { plain.show(sorted); }, "  (target <= 1.3)", reset);
        compareEngine(
            Usual, program, [&] { check(raw.read(sorted) == PageSize, "raw sorted page"); }, reset);
    };
    sortCase("title click (sort by f_3 ascending)", 2);
    // A text column sorts by the Chinese collation on both sides.
    sortCase("title click on text (f_1, Chinese collation)", 0);

    browser.browseAll();
    plain.show(firstPage);
    const QString csvFile = CsvFileName(csvPath);
    const QString referenceCsv = folder + QStringLiteral("/reference.csv");
    browser.exportPage();
    writeCsv(plain, referenceCsv);
    QFile programBytes(csvFile);
    QFile referenceBytes(referenceCsv);
    check(programBytes.open(QIODevice::ReadOnly) && referenceBytes.open(QIODevice::ReadOnly) &&
              programBytes.readAll() == referenceBytes.readAll(),
          "the same CSV bytes");
    comparePainted(
        "CSV export of a 50-row page", Usual, [&] { browser.exportPage(); },
        [&] { writeCsv(plain, referenceCsv); });

    // Row moves on the first page, whose rows have thumbnails: the program
    // makes a pooled connection, selects picmin and shows it on each move,
    // the plain client moves its view's current row, reads picmin by a
    // statement kept prepared and shows it. Each move is painted before the
    // next. The engine alone: the program's moves, painted once after them,
    // outside the time, against the kept statement's reading of picmin.
    browser.browseAll();
    plain.show(firstPage);
    paintPending();
    const auto moveTo = [&browser](int row) { browser.recordGrid().setCurrentRow(row); };
    const auto compareMoves = [&](const char* name, const std::function<int(int)>& rowOfMove,
                                  int moves) {
        comparePainted(
            name, Usual,
            [&] {
                for (int i = 0; i < moves; ++i) {
                    moveTo(rowOfMove(i));
                    paintPending();
                }
            },
            [&] {
                for (int i = 0; i < moves; ++i) {
                    plain.moveTo(rowOfMove(i));
                    paintPending();
                }
            },
            "  (target <= 2)");
        compareEngine(
            Usual,
            [&] {
                for (int i = 0; i < moves; ++i)
                    moveTo(rowOfMove(i));
            },
            [&] {
                for (int i = 0; i < moves; ++i)
                    check(!raw.thumbnail(rowOfMove(i) + 1).isEmpty(), "raw thumbnail");
            },
            {}, "  unpainted, against picmin's reads alone");
    };

    // A walk down and up the page: the grid scrolls on most moves. Each
    // side's run walks on from where the last run ended.
    int walk = 0;
    const auto walkRow = [&walk](int i) {
        const int row = walk % 2 ? PageSize - 2 - i : i + 1;
        if (i == PageSize - 2)
            ++walk;
        return row;
    };
    compareMoves("row move, a walk of 49 moves (thumbnails shown before)", walkRow, PageSize - 1);

    // Moves among the rows in view, as clicks make them: no scrolling.
    auto* grid = box.findChild<QTableView*>(QStringLiteral("DBGrid1"));
    const int lastInView = std::min(PageSize, grid->rowAt(grid->viewport()->height() - 1));
    check(lastInView >= 3, "rows in view");
    const QByteArray inView =
        "row move, rows 2-" + QByteArray::number(lastInView) + " in view (thumbnails shown before)";
    moveTo(1);
    plain.moveTo(1);
    compareMoves(
        inView.constData(), [lastInView](int i) { return 1 + (i + 1) % (lastInView - 1); }, 48);

    // The same walk down a page each of whose thumbnails is shown for the
    // first time: before each run both windows show the next page of those
    // with thumbnails, outside the times; the pages come round again only
    // after more thumbnails than either side keeps pictures of.
    int coldPage = 0;
    const auto nextPage = [&] {
        coldPage = coldPage % (ThumbnailPages - 1) + 1;
        browser.showPage(coldPage);
        plain.show(statementOf(coldPage));
    };
    nextPage();
    comparePainted(
        "row move, a walk of 49 moves (thumbnails not shown before)", Usual,
        [&] {
            for (int row = 1; row < PageSize; ++row) {
                moveTo(row);
                paintPending();
            }
        },
        [&] {
            for (int row = 1; row < PageSize; ++row) {
                plain.moveTo(row);
                paintPending();
            }
        },
        "", nextPage);

    std::printf("  peak memory of the process: %.1f MB\n", peakMemoryKb() / 1024.0);
    std::fflush(stdout);
    return 0;
}

void ensureDatabase(const QString& folder, int records)
{
    QDir().mkpath(folder);
    ProgramPaths::setExecutablePathForTesting(folder + QStringLiteral("/vardenix"));
    if (!QFile::exists(databasePath()))
        build(records);
}

} // namespace

int main(int argc, char** argv)
{
    // The process keeps its memory as the program's does, for both sides.
    db::keepBigBlocksApart();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments.at(1).startsWith(u"--")) {
        const QString folder = arguments.at(2);
        const int records = arguments.at(3).toInt();
        ProgramPaths::setExecutablePathForTesting(folder + QStringLiteral("/vardenix"));
        if (arguments.at(1) == u"--records")
            return measure(folder, records);
        if (arguments.at(1) == u"--big-page")
            return measureBigPage(folder, records);
        return measureBigPageMemory(folder, records);
    }
    QTemporaryDir temporary;
    const QString folder = arguments.size() > 1 ? arguments.at(1) : temporary.path();
    QList<int> sizes;
    for (qsizetype i = 2; i < arguments.size(); ++i)
        sizes.append(arguments.at(i).toInt());
    if (sizes.isEmpty())
        sizes = {10000, 100000, 1000000};
    // Each size is measured in processes of their own, so that the building
    // and the other sizes do not count in their memory.
    for (const int records : sizes) {
        const QString sizeFolder = folder + u'/' + QString::number(records);
        ensureDatabase(sizeFolder, records);
        std::printf("%d records\n", records);
        std::fflush(stdout);
        for (const char* step : {"--records", "--big-page"}) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QCoreApplication::applicationFilePath(),
                        {QString::fromLatin1(step), sizeFolder, QString::number(records)});
            child.waitForFinished(-1);
            if (child.exitCode() != 0)
                return child.exitCode();
        }
    }
    return 0;
}
