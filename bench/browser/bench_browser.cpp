// Times the record browser's handlers in the main window on an embedded table
// of 1,000,000 records (ten columns: text, integer and real) against the
// SQLite C API running the same statements, translated. Prints the median
// times of both, their ratio (program / raw) and the peak memory.
//
//   bench_browser [folder]   the database is built there (default: a temp folder)

#include "app/AppState.h"
#include "app/Main.h"
#include "bench/BenchSupport.h"
#include "common/FileDialogs.h"
#include "common/MessageBox.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/SqliteDialect.h"
#include "platform/paths/ProgramPaths.h"
#include "signin/Initdb.h"
#include "signin/Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <string>
#include <variant>
#include <vector>

namespace {

using namespace bench;

constexpr int RowCount = 1000000;
constexpr int PageSize = 50;

// Ten columns of the three types, designed as the first run does it.
void build()
{
    std::printf("building %d records\n", RowCount);
    std::fflush(stdout);
    const QString mainTable = QStringLiteral(
        "create table fid_main(id int NOT NULL IDENTITY (1, 1),f_1 varchar(20),f_2 int,f_3 float,"
        "f_4 varchar(40),f_5 int,f_6 float,f_7 varchar(20),f_8 int,f_9 float,f_10 varchar(10));");
    QString titleTable = QStringLiteral("create table fid_title(id int NOT NULL IDENTITY (1, 1),"
                                        "title varchar(48), cLength integer);");
    const QList<QPair<QString, int>> titles = {
        {"名称", 20}, {"数量", 10}, {"单价", 10}, {"客户", 40}, {"天数", 10},
        {"金额", 10}, {"城市", 20}, {"编号", 10}, {"折扣", 10}, {"代码", 10}};
    for (const auto& [title, length] : titles)
        titleTable += QStringLiteral("insert into fid_title(title,cLength) values ('%1',%2);")
                          .arg(title)
                          .arg(length);
    titleTable += QStringLiteral("insert into fid_title(title,cLength) values ('pic',0);"
                                 "insert into fid_title(title,cLength) values ('dbfile',0);");

    db::Connection connection(
        QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=bench;Data Source=(localdb);Password=;"
                       "Persist Security Info=True;User ID=sa"));
    db::Query query(connection);
    for (const QString& line : FirstRunBatch(mainTable, titleTable))
        query.addSql(line);
    query.execute();
    query.clearSql();
    query.addSql(
        QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM n WHERE x<%1) "
                       "INSERT INTO fid_main(f_1,f_2,f_3,f_4,f_5,f_6,f_7,f_8,f_9,f_10) "
                       "SELECT 'record '||x, x*7%1000, x/4.0, 'customer '||(x*31%100000), x%365, "
                       "x*1.5, 'city '||(x%500), x, (x%1000)/8.0, 'k'||(x%97) FROM n")
            .arg(RowCount));
    query.execute();
}

// The same file through the SQLite C API.
struct RawDatabase
{
    sqlite3* handle = nullptr;

    explicit RawDatabase(const QString& path)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &handle, SQLITE_OPEN_READONLY, nullptr) !=
            SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
    }
    ~RawDatabase() { sqlite3_close(handle); }

    // The SQLite text of each statement, translated once: the raw side does
    // not pay for the translation.
    QHash<QString, QByteArray> translated;

    sqlite3_stmt* prepare(const QString& statement)
    {
        auto known = translated.constFind(statement);
        if (known == translated.constEnd())
            known = translated.insert(statement,
                                      db::sqlite::translateBatch(statement).first().toUtf8());
        const QByteArray& sql = *known;
        sqlite3_stmt* prepared = nullptr;
        if (sqlite3_prepare_v2(handle, sql.constData(), static_cast<int>(sql.size()), &prepared,
                               nullptr) != SQLITE_OK)
            qFatal("raw prepare failed: %s", sqlite3_errmsg(handle));
        return prepared;
    }

    // Every value of every row copied out, as a client keeps a page.
    Rows rows(const QString& statement) { return takeRows(prepare(statement)); }

    int count(const QString& statement)
    {
        sqlite3_stmt* prepared = prepare(statement);
        int count = 0;
        while (sqlite3_step(prepared) == SQLITE_ROW)
            ++count;
        sqlite3_finalize(prepared);
        return count;
    }
};

// Runs both sides in turn, repeats times, and prints the medians. Qt's
// pending events (painting) are handled between the runs, outside the times.
void compare(const char* name, int repeats, const std::function<void()>& program,
             const std::function<void()>& raw)
{
    for (int i = 0; i < 2; ++i) { // warms the page cache for both
        program();
        raw();
        QCoreApplication::processEvents();
    }
    std::vector<double> programTimes;
    std::vector<double> rawTimes;
    QElapsedTimer timer;
    const auto time = [&timer](const std::function<void()>& run, std::vector<double>& times) {
        timer.start();
        run();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        QCoreApplication::processEvents();
    };
    // Alternating which side goes first evens out what one run leaves to the next.
    for (int i = 0; i < repeats; ++i) {
        if (i % 2 == 0) {
            time(program, programTimes);
            time(raw, rawTimes);
        } else {
            time(raw, rawTimes);
            time(program, programTimes);
        }
    }
    const double p = median(programTimes);
    const double r = median(rawTimes);
    std::printf("%-32s program %10.3f ms   raw %10.3f ms   ratio %5.2f\n", name, p, r, p / r);
    std::fflush(stdout);
}

void check(bool condition, const char* what)
{
    if (!condition)
        qFatal("wrong result: %s", what);
}

int measure(const QString& folder)
{
    WriteConnectionSettings(QStringLiteral("(localdb)"), QStringLiteral("sa"),
                            QStringLiteral("1433"), QStringLiteral("bench"), QString());
    WriteOperatorName(QStringLiteral("root"));
    const QString csvPath = folder + QStringLiteral("/export");
    MessageBox::setResponder([](const MessageBox::Shown& shown) {
        if (shown.flags & MessageBox::ErrorIcon)
            qFatal("error: %s", qPrintable(shown.text));
        return MessageBox::IdOk;
    });
    FileDialogs::setChooser([csvPath](const FileDialogs::Request&) { return csvPath; });

    TMainBox box;
    box.show();
    QCoreApplication::processEvents();
    RawDatabase raw(ProgramPaths::folder() + QStringLiteral("bench.db"));
    BrowseState& browse = AppState.Browse;
    const auto statementOf = [&browse](int pageIndex) {
        QString skip;
        if (pageIndex > 0)
            skip = QStringLiteral(" AND (ID >(SELECT MAX(id) FROM (SELECT TOP %1 id  FROM "
                                  "fid_Main %2 ORDER BY id) AS T))  ")
                       .arg(PageSize * pageIndex)
                       .arg(browse.Condition);
        return browse.Head + browse.Condition + skip + browse.Order;
    };
    const QString countAll = QStringLiteral("select id from  fid_Main WHERE (1=1)");

    compare(
        "browse: page 1 and count", 15,
        [&] {
            box.SpeedButton3Click();
            check(browse.RecordCount == RowCount, "count");
        },
        [&] {
            check(raw.rows(statementOf(0)).size() == PageSize, "raw page");
            check(raw.count(countAll) == RowCount, "raw count");
        });

    for (const int page : {2, 10000, 20000}) {
        const QByteArray name = "page step to page " + QByteArray::number(page);
        const QString statement = statementOf(page - 1);
        compare(
            name.constData(), page == 2 ? 400 : 15,
            [&] {
                browse.PageIndex = page - 2;
                box.PageDownClick();
                check(box.ADOQueryMain.recordCount() == PageSize, "page");
                check(box.ADOQueryMain.rowValue(0, 0).toInt() == (page - 1) * PageSize + 1,
                      "first id");
            },
            [&] { check(raw.rows(statement).size() == PageSize, "raw page"); });
    }

    auto* columns = box.findChild<QComboBox*>(QStringLiteral("Com11"));
    auto* operators = box.findChild<QComboBox*>(QStringLiteral("Com12"));
    auto* key = box.findChild<QLineEdit*>(QStringLiteral("EKey"));
    const auto search = [&](const char* name, int column, const QString& op, const QString& text,
                            int matches) {
        compare(
            name, 15,
            [&] {
                columns->setCurrentIndex(column);
                operators->setCurrentIndex(operators->findText(op));
                key->setText(text);
                box.SpeedButton6Click();
                check(browse.RecordCount == matches, "matches");
            },
            [&] {
                raw.rows(browse.Statement);
                check(raw.count(QStringLiteral("select id from  fid_Main ") + browse.Condition) ==
                          matches,
                      "raw matches");
            });
    };
    box.SpeedButton3Click();
    search("search 包含 and count", 3, QStringLiteral("包含"), QStringLiteral("12345"), 10);
    search("search = and count", 1, QStringLiteral("="), QStringLiteral("77"), 1000);

    box.SpeedButton3Click();
    compare(
        "title click (sort by f_3)", 15, [&] { box.DBGrid1TitleClick(2); },
        [&] { check(raw.rows(browse.Statement).size() == PageSize, "raw sorted page"); });

    box.SpeedButton3Click();
    const QString firstPage = statementOf(0);
    compare(
        "CSV export of a 50-row page", 400, [&] { box.CSV1Click(); },
        [&] {
            const Rows rows = raw.rows(firstPage);
            std::FILE* file = std::fopen(qPrintable(csvPath + QStringLiteral(".csv")), "wb");
            for (const auto& row : rows) {
                for (std::size_t i = 1; i < row.size(); ++i) {
                    if (const auto* text = std::get_if<std::string>(&row[i]))
                        std::fputs(text->c_str(), file);
                    else if (const auto* number = std::get_if<qint64>(&row[i]))
                        std::fprintf(file, "%lld", static_cast<long long>(*number));
                    else if (const auto* real = std::get_if<double>(&row[i]))
                        std::fprintf(file, "%.15g", *real);
                    std::fputc(',', file);
                }
                std::fputs("\r\n", file);
            }
            std::fclose(file);
        });

    std::printf("peak memory of the process: %.1f MB\n", peakMemoryKb() / 1024.0);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QTemporaryDir temporary;
    const QString folder = arguments.size() > 1 ? arguments.at(1) : temporary.path();
    ProgramPaths::setExecutablePathForTesting(folder + QStringLiteral("/vardenix"));
    if (!QFile::exists(ProgramPaths::folder() + QStringLiteral("bench.db"))) {
        build();
        // Measured in a process of its own, so that the building does not
        // count in the peak memory.
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {folder});
        child.waitForFinished(-1);
        return child.exitCode();
    }
    return measure(folder);
}
