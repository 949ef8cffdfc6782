// Times the main window's browse, page step, search and row move with
// thumbnail on SQL Server until the grid and the thumbnail are painted,
// against a bare ODBC client (the unixODBC API directly: SQLExecDirectW,
// SQLFetch, SQLGetData) running the same statements through the same driver,
// connection string and session settings on one kept connection, each page
// kept in one buffer and shown by a plain Qt table model and view painted
// the same way (bench/PlainWindow.h), its count the server's own (SELECT
// COUNT(*) with the same condition); beside each, the engine alone, and a
// 50 MB document round trip. Both sides run interleaved in pairs until the
// median is steady; each line gives the pairs, the median times and the
// minimum and median of the paired ratios (program / bare ODBC).
//
// The cases run twice: on the loopback, and through an office link (a relay
// of the benchmark's own that carries 100 Mbit/s with 0.5 ms each way, which
// both sides go through).
//
//   VARDENIX_MSSQL='<connection string>' bench_mssql [--loopback|--link] [--keep] [records]
//       records: default 100000; --loopback or --link: only those cases;
//       --keep: the database stays for the next run
//
// The database vardenix_bench_<records> is made on that server, or taken as
// it is when an earlier run kept it with that many records, and dropped at
// the end unless kept. Without VARDENIX_MSSQL the benchmark says so and does
// nothing.

#include "app/Main.h"
#include "attachments/AttachmentStrip.h"
#include "bench/BenchSupport.h"
#include "bench/PlainWindow.h"
#include "bench/ShapedRelay.h"
#include "browser/RecordBrowser.h"
#include "common/FileDialogs.h"
#include "common/MessageBox.h"
#include "platform/db/Connection.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/ResultRows.h"
#include "platform/db/SessionPool.h"
#include "platform/grid/DataGrid.h"
#include "platform/paths/ProgramPaths.h"
#include "platform/pictures/Bitmap.h"
#include "signin/Initdb.h"
#include "signin/Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>
#include <sql.h>
#include <sqlext.h>
#include <string>
#include <vector>

namespace {

using namespace bench;

constexpr int PageSize = 50;
constexpr qint64 DocumentSize = 50LL * 1024 * 1024;
const QSize Thumb(124, 73);
const QString SessionSetup = QStringLiteral("SET TEXTSIZE 2147483647;SET ANSI_WARNINGS ON");
// Cases run at least 15 pairs and stop when steady, or at 400 pairs or 20 s.
const Pairs Usual{15, 400, 20000};

void check(bool condition, const char* what)
{
    if (!condition)
        qFatal("wrong result: %s", what);
}

QString connectionStringTo(const db::ConnectionStringParts& server, const QString& database)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=%1;Data Source=%2;Password=%3;"
                          "Persist Security Info=True;User ID=%4")
        .arg(database, server.dataSource, server.password, server.userId);
}

void execute(const QString& connectionString, const QStringList& lines,
             const QByteArray& file = QByteArray())
{
    db::Connection connection(connectionString);
    db::Query query(connection);
    for (const QString& line : lines)
        query.addSql(line);
    if (!file.isNull())
        query.setFileParameter(file);
    query.execute();
}

// A client on the ODBC API alone: one connection, one statement handle.
class BareOdbc
{
public:
    explicit BareOdbc(const QString& odbcString)
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
        SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
        const std::u16string text = odbcString.toStdU16String();
        if (!SQL_SUCCEEDED(SQLDriverConnectW(m_dbc, nullptr, wide(text),
                                             static_cast<SQLSMALLINT>(text.size()), nullptr, 0,
                                             nullptr, SQL_DRIVER_NOPROMPT)))
            fail(SQL_HANDLE_DBC, m_dbc);
        SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &m_stmt);
        run(SessionSetup);
        SQLFreeStmt(m_stmt, SQL_CLOSE);
    }
    ~BareOdbc()
    {
        SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
        SQLDisconnect(m_dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
    }
    BareOdbc(const BareOdbc&) = delete;
    BareOdbc& operator=(const BareOdbc&) = delete;

    // Every value of every row in one buffer: integers and reals as numbers,
    // texts as UTF-8 and binaries as bytes.
    Page page(const QString& statement)
    {
        run(statement);
        SQLSMALLINT columns = 0;
        SQLNumResultCols(m_stmt, &columns);
        Page result;
        std::vector<SQLSMALLINT> types(static_cast<size_t>(columns));
        for (SQLSMALLINT i = 0; i < columns; ++i) {
            SQLWCHAR name[128] = {};
            SQLSMALLINT length = 0;
            SQLDescribeColW(m_stmt, static_cast<SQLUSMALLINT>(i + 1), name, 128, &length,
                            &types[static_cast<size_t>(i)], nullptr, nullptr, nullptr);
            result.names.push_back(
                QString::fromUtf16(reinterpret_cast<const char16_t*>(name), length).toStdString());
        }
        while (SQLFetch(m_stmt) == SQL_SUCCESS) {
            result.beginRow();
            for (SQLSMALLINT i = 0; i < columns; ++i)
                appendValue(result, static_cast<SQLUSMALLINT>(i + 1),
                            types[static_cast<size_t>(i)]);
        }
        SQLFreeStmt(m_stmt, SQL_CLOSE);
        return result;
    }

    // The bytes of the first column of the first row.
    QByteArray firstBytes(const QString& statement)
    {
        run(statement);
        QByteArray bytes;
        if (SQLFetch(m_stmt) == SQL_SUCCESS) {
            const std::string value = this->value(1, SQL_C_BINARY);
            bytes = QByteArray(value.data(), qsizetype(value.size()));
        }
        SQLFreeStmt(m_stmt, SQL_CLOSE);
        return bytes;
    }

    // The number in the first column of the first row.
    qint64 number(const QString& statement)
    {
        run(statement);
        SQLBIGINT number = -1;
        SQLLEN indicator = 0;
        if (SQLFetch(m_stmt) == SQL_SUCCESS)
            SQLGetData(m_stmt, 1, SQL_C_SBIGINT, &number, sizeof number, &indicator);
        SQLFreeStmt(m_stmt, SQL_CLOSE);
        return number;
    }

    // The statements run as one transaction; the first takes the bytes as
    // its one parameter.
    void writeInTransaction(const QString& withBytes, const QByteArray& bytes, const QString& then)
    {
        SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
        SQLLEN length = bytes.size();
        SQLBindParameter(m_stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                         static_cast<SQLULEN>(bytes.size()), 0,
                         const_cast<char*>(bytes.constData()), length, &length);
        run(withBytes);
        SQLFreeStmt(m_stmt, SQL_CLOSE);
        SQLFreeStmt(m_stmt, SQL_RESET_PARAMS);
        run(then);
        SQLFreeStmt(m_stmt, SQL_CLOSE);
        SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_COMMIT);
        SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    }

    // The first column of the first row streamed to a file in chunks.
    qint64 saveToFile(const QString& statement, const QString& path)
    {
        run(statement);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        qint64 written = 0;
        if (SQLFetch(m_stmt) == SQL_SUCCESS) {
            std::vector<char> chunk(1024 * 1024);
            SQLLEN indicator = 0;
            SQLRETURN result = SQL_SUCCESS;
            while ((result = SQLGetData(m_stmt, 1, SQL_C_BINARY, chunk.data(),
                                        static_cast<SQLLEN>(chunk.size()), &indicator)) !=
                       SQL_NO_DATA &&
                   SQL_SUCCEEDED(result)) {
                const qint64 size =
                    indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(chunk.size())
                        ? static_cast<qint64>(chunk.size())
                        : static_cast<qint64>(indicator);
                file.write(chunk.data(), size);
                written += size;
                if (result == SQL_SUCCESS)
                    break;
            }
        }
        SQLFreeStmt(m_stmt, SQL_CLOSE);
        return written;
    }

private:
    static SQLWCHAR* wide(const std::u16string& text)
    {
        return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text.data()));
    }

    void run(const QString& statement)
    {
        const std::u16string text = statement.toStdU16String();
        const SQLRETURN result =
            SQLExecDirectW(m_stmt, wide(text), static_cast<SQLINTEGER>(text.size()));
        if (!SQL_SUCCEEDED(result) && result != SQL_NO_DATA)
            fail(SQL_HANDLE_STMT, m_stmt);
    }

    void appendValue(Page& page, SQLUSMALLINT column, SQLSMALLINT type)
    {
        SQLLEN indicator = 0;
        switch (type) {
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT: {
            SQLBIGINT number = 0;
            SQLGetData(m_stmt, column, SQL_C_SBIGINT, &number, sizeof number, &indicator);
            if (indicator == SQL_NULL_DATA)
                page.appendNull();
            else
                page.appendInteger(number);
            return;
        }
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE: {
            double number = 0;
            SQLGetData(m_stmt, column, SQL_C_DOUBLE, &number, sizeof number, &indicator);
            if (indicator == SQL_NULL_DATA)
                page.appendNull();
            else
                page.appendReal(number);
            return;
        }
        default: {
            const bool binary =
                type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
            bool null = false;
            const std::string bytes = value(column, binary ? SQL_C_BINARY : SQL_C_CHAR, &null);
            if (null)
                page.appendNull();
            else
                page.appendBytes(bytes.data(), bytes.size());
        }
        }
    }

    // One column's value, read in parts as long as the driver has more.
    std::string value(SQLUSMALLINT column, SQLSMALLINT type, bool* null = nullptr)
    {
        std::string result;
        char buffer[8192];
        const SQLLEN terminator = type == SQL_C_CHAR ? 1 : 0;
        for (;;) {
            SQLLEN indicator = 0;
            const SQLRETURN got =
                SQLGetData(m_stmt, column, type, buffer, sizeof buffer, &indicator);
            if (indicator == SQL_NULL_DATA && null)
                *null = true;
            if (got == SQL_NO_DATA || !SQL_SUCCEEDED(got) || indicator == SQL_NULL_DATA)
                break;
            const SQLLEN room = static_cast<SQLLEN>(sizeof buffer) - terminator;
            const SQLLEN size = indicator == SQL_NO_TOTAL || indicator > room ? room : indicator;
            result.append(buffer, static_cast<size_t>(size));
            if (got == SQL_SUCCESS)
                break;
        }
        return result;
    }

    [[noreturn]] static void fail(SQLSMALLINT kind, SQLHANDLE handle)
    {
        SQLWCHAR state[6] = {};
        SQLWCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLGetDiagRecW(kind, handle, 1, state, &native, message, 1023, &length);
        qFatal("bare ODBC: %s",
               qPrintable(QString::fromUtf16(reinterpret_cast<const char16_t*>(message), length)));
    }

    SQLHENV m_env = SQL_NULL_HENV;
    SQLHDBC m_dbc = SQL_NULL_HDBC;
    SQLHSTMT m_stmt = SQL_NULL_HSTMT;
};

// The table as the first run designs it on SQL Server, with the rows made by
// the server; the rows of the first page have thumbnails.
void build(const QString& connectionString, const QString& database, int records)
{
    std::printf("building %d records in %s\n", records, qPrintable(database));
    std::fflush(stdout);
    execute(connectionString,
            FirstRunBatch(
                QStringLiteral("create table fid_main(id int NOT NULL IDENTITY (1, 1),f_1 "
                               "varchar(20),f_2 int,f_3 float,f_4 varchar(40),pic image,picmin "
                               "image,picname varchar(240),doc image,docname varchar(240));"),
                QStringLiteral("create table fid_title(id int NOT NULL IDENTITY (1, "
                               "1),title varchar(48), cLength integer);"
                               "insert into fid_title(title,cLength) values ('名称',20);"
                               "insert into fid_title(title,cLength) values ('数量',10);"
                               "insert into fid_title(title,cLength) values ('单价',10);"
                               "insert into fid_title(title,cLength) values ('客户',40);"
                               "insert into fid_title(title,cLength) values ('pic',1);"
                               "insert into fid_title(title,cLength) values "
                               "('dbfile',1);")));
    execute(connectionString,
            {QStringLiteral(
                 "WITH d(x) AS (SELECT 0 UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3 "
                 "UNION ALL SELECT 4 UNION ALL SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7 "
                 "UNION ALL SELECT 8 UNION ALL SELECT 9), "
                 "n(x) AS (SELECT a.x+10*b.x+100*c.x+1000*e.x+10000*f.x+100000*g.x+1 "
                 "FROM d a, d b, d c, d e, d f, d g) "
                 "INSERT INTO fid_main(f_1,f_2,f_3,f_4,picname) "
                 "SELECT 'record '+CAST(x AS varchar(10)), x*7%1000, x/4.0, "
                 "'customer '+CAST(x*31%100000 AS varchar(10)), "
                 "CASE WHEN x<=%2 THEN 'C:\\Pics\\p'+CAST(x AS varchar(10))+'.jpg' END "
                 "FROM n WHERE x<=%1 ORDER BY x")
                 .arg(records)
                 .arg(PageSize)});
    for (int id = 1; id <= PageSize; ++id) {
        QImage thumbnail(Thumb, QImage::Format_RGB32);
        thumbnail.fill(QColor::fromHsv(id * 7 % 360, 200, 200));
        execute(connectionString,
                {QStringLiteral("update fid_main set picmin=:file where id=%1").arg(id)},
                pictures::encodeBmp(thumbnail));
    }
}

// Whether the database holds the table that build() makes, with that many
// records and the first page's thumbnails.
bool built(const QString& connectionString, int records)
{
    try {
        db::Connection connection(connectionString);
        db::Query query(connection);
        query.addSql(QStringLiteral("select count(*), count(picmin) from fid_main"));
        query.open();
        return query.rowValue(0, 0).toInt() == records && query.rowValue(0, 1).toInt() == PageSize;
    } catch (const db::DbError&) {
        return false;
    }
}

void measure(const db::ConnectionStringParts& server, const QString& database,
             const QString& folder, int records, const char* link)
{
    db::ConnectionStringParts parts = server;
    parts.initialCatalog = database;
    BareOdbc bare(db::odbcConnectionString(parts));

    WriteConnectionSettings(server.dataSource, server.userId, QStringLiteral("1433"), database,
                            server.password);
    WriteOperatorName(QStringLiteral("root"));
    MessageBox::setResponder([](const MessageBox::Shown& shown) {
        if (shown.flags & MessageBox::ErrorIcon)
            qFatal("error: %s", qPrintable(shown.text));
        return MessageBox::IdOk;
    });
    TMainBox box;
    box.show();
    paintPending();
    RecordBrowser& browser = box.browser();
    const auto statementOf = [&browser](int pageIndex) {
        return browser.statement().page(PageSize, pageIndex);
    };
    const QString countAll = QStringLiteral("SELECT COUNT(*) FROM fid_Main WHERE (1=1)");
    std::printf("SQL Server, %d records, %s\n", records, link);

    browser.browseAll();
    const QString firstPage = statementOf(0);
    const auto thumbnailOf = [&bare](qint64 id) {
        return bare.firstBytes(QStringLiteral("select picmin from  fid_Main where id=") +
                               QString::number(id));
    };
    PlainClient plain(
        PlainClient::Reader{
            [&bare](const QString& statement) { return bare.page(statement); },
            [&bare](const QString& statement) { return static_cast<int>(bare.number(statement)); },
            thumbnailOf},
        *box.findChild<QTableView*>(QStringLiteral("DBGrid1")),
        *box.findChild<QLabel*>(QStringLiteral("ImagePic")), browser.recordColumns());
    plain.show(firstPage);
    paintPending();
    // What a page's load reads: its rows, the first row's thumbnail when it
    // has a picture, and the count when a count statement is given.
    const auto bareRead = [&](const QString& statement, const QString& countStatement) {
        const Page rows = bare.page(statement);
        const Page::Value name = rows.value(0, rows.column("picname"));
        if (rows.size() > 0 && !name.bytes.empty())
            thumbnailOf(rows.value(0, rows.column("id")).integer);
        if (!countStatement.isEmpty())
            bare.number(countStatement);
        return rows.size();
    };

    const auto browse = [&] {
        browser.browseAll();
        check(browser.recordCount() == records, "count");
    };
    comparePainted("browse: page 1 and count", Usual, browse,
                   [&] { check(plain.show(firstPage, countAll) == records, "bare count"); });
    compareEngine(Usual, browse,
                  [&] { check(bareRead(firstPage, countAll) == PageSize, "bare page"); });

    const QString secondPage = statementOf(1);
    const auto stepToSecond = [&] {
        browser.nextPage();
        check(browser.recordQuery().rowValue(0, 0).toInt() == PageSize + 1, "page 2");
    };
    // Each step starts from page 1, outside the times.
    const auto backToFirst = [&] {
        if (browser.pageIndex() != 0)
            browser.showPage(0);
        plain.showAgain(firstPage);
    };
    comparePainted(
        "step to page 2", Usual, stepToSecond, [&] { plain.show(secondPage); }, "", backToFirst);
    compareEngine(
        Usual, stepToSecond,
        [&] { check(bareRead(secondPage, QString()) == PageSize, "bare page 2"); }, backToFirst);

    auto* columns = box.findChild<QComboBox*>(QStringLiteral("Com11"));
    auto* operators = box.findChild<QComboBox*>(QStringLiteral("Com12"));
    auto* key = box.findChild<QLineEdit*>(QStringLiteral("EKey"));
    int matches = -1;
    const auto search = [&] {
        columns->setCurrentIndex(3);
        operators->setCurrentIndex(operators->findText(QStringLiteral("包含")));
        key->setText(QStringLiteral("1234"));
        browser.search();
        check(matches < 0 || browser.recordCount() == matches, "matches");
    };
    const auto countMatches = [&] {
        return QStringLiteral("SELECT COUNT(*) FROM fid_Main ") + browser.statement().condition();
    };
    comparePainted("search 包含 and count", Usual, search,
                   [&] { matches = plain.show(browser.statementText(), countMatches()); });
    compareEngine(Usual, search, [&] { bareRead(browser.statementText(), countMatches()); });

    // A walk down and up the first page, whose rows have thumbnails, each
    // move painted before the next. A thumbnail is read by its id, which the
    // table as designed does not index: every move scans the records on
    // both sides, half a second at 1,000,000, so a walk then runs at least 5
    // pairs.
    const Pairs walks = records > 100000 ? Pairs{5, 400, 20000} : Usual;
    browser.browseAll();
    plain.show(firstPage);
    paintPending();
    int walk = 0;
    const auto walkRow = [&walk](int i) {
        const int row = walk % 2 ? PageSize - 2 - i : i + 1;
        if (i == PageSize - 2)
            ++walk;
        return row;
    };
    comparePainted(
        "row move with thumbnail, a walk of 49 moves", walks,
        [&] {
            for (int i = 0; i < PageSize - 1; ++i) {
                browser.recordGrid().setCurrentRow(walkRow(i));
                paintPending();
            }
        },
        [&] {
            for (int i = 0; i < PageSize - 1; ++i) {
                plain.moveTo(walkRow(i));
                paintPending();
            }
        },
        "  (target <= 2)");
    compareEngine(
        walks,
        [&] {
            for (int i = 0; i < PageSize - 1; ++i)
                browser.recordGrid().setCurrentRow(walkRow(i));
        },
        [&] {
            for (int i = 0; i < PageSize - 1; ++i)
                check(!thumbnailOf(walkRow(i) + 1).isEmpty(), "bare thumbnail");
        },
        {}, "  unpainted, against picmin's reads alone");

    const QString input = folder + QStringLiteral("/large.doc");
    writeRandomFile(input, DocumentSize);
    const QString output = folder + QStringLiteral("/exported.doc");
    box.browser().recordGrid().setCurrentRow(0);
    printPaired(
        "50 MB document import and export",
        runPaired(
            Pairs{5, 15, 60000},
            [&] {
                FileDialogs::setChooser([&](const FileDialogs::Request&) { return input; });
                box.strip().importDocument();
                FileDialogs::setChooser([&](const FileDialogs::Request&) { return output; });
                box.strip().exportDocument();
                check(QFile(output).size() == DocumentSize, "exported size");
            },
            [&] {
                QFile file(input);
                file.open(QIODevice::ReadOnly);
                const QByteArray bytes = file.readAll();
                bare.writeInTransaction(
                    QStringLiteral("update fid_Main set doc=? where id=1;"), bytes,
                    QStringLiteral("update fid_Main set docname='large.doc' where id=1;"));
                check(bare.saveToFile(QStringLiteral("select doc from  fid_Main where id=1"),
                                      output) == DocumentSize,
                      "bare exported size");
            },
            paintPending, 1));
    FileDialogs::setChooser({});
}

} // namespace

int main(int argc, char** argv)
{
    const QString server = qEnvironmentVariable("VARDENIX_MSSQL");
    if (server.isEmpty()) {
        std::printf("bench_mssql: skipped, VARDENIX_MSSQL is not set\n");
        return 0;
    }
    // The process keeps its memory as the program's does, for both sides.
    db::keepBigBlocksApart();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int records = 100000;
    bool loopback = true;
    bool link = true;
    bool keep = false;
    for (const QString& argument : app.arguments().mid(1)) {
        if (argument == QLatin1String("--loopback"))
            link = false;
        else if (argument == QLatin1String("--link"))
            loopback = false;
        else if (argument == QLatin1String("--keep"))
            keep = true;
        else
            records = argument.toInt();
    }
    QTemporaryDir folder;
    ProgramPaths::setExecutablePathForTesting(folder.path() + QStringLiteral("/vardenix"));
    const db::ConnectionStringParts parts = db::parseConnectionString(server);
    const QString database = QStringLiteral("vardenix_bench_%1").arg(records);
    const QString master = connectionStringTo(parts, QStringLiteral("master"));
    const QString drop =
        QStringLiteral("IF DB_ID('%1') IS NOT NULL DROP DATABASE %1").arg(database);
    if (!built(connectionStringTo(parts, database), records)) {
        db::SessionPool::clear();
        execute(master, {drop});
        execute(master,
                {QStringLiteral("CREATE DATABASE %1 COLLATE Chinese_PRC_CI_AS").arg(database)});
        build(connectionStringTo(parts, database), database, records);
    }
    if (loopback)
        measure(parts, database, folder.path(), records, "loopback");
    if (link) {
        const QStringList hostAndPort = parts.dataSource.split(QLatin1Char(','));
        ShapedRelay relay(hostAndPort.value(0).trimmed(),
                          hostAndPort.size() > 1 ? hostAndPort.value(1).trimmed().toInt() : 1433,
                          ShapedRelay::Link{100, 0.5});
        if (!relay.listening())
            qFatal("the relay does not listen");
        db::ConnectionStringParts throughRelay = parts;
        throughRelay.dataSource = relay.dataSource();
        measure(throughRelay, database, folder.path(), records,
                "through a 100 Mbit/s link with 0.5 ms each way");
        db::SessionPool::clear(); // pooled sessions through the relay end with it
    }
    db::SessionPool::clear(); // pooled sessions would keep the database in use
    if (!keep)
        execute(master, {drop});
    return 0;
}
