// Times the data-access layer on the embedded engine against the SQLite C API
// running the same statements, and measures the peak memory of counting a
// million rows. Both sides run interleaved in pairs; each line gives the
// median times and the minimum and median of the paired ratios (layer / raw).
//
//   bench_db [folder]   the database is built there (default: a temp folder)

#include "bench/BenchSupport.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/ResultRows.h"
#include "platform/db/SqliteDialect.h"
#include "platform/paths/ProgramPaths.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace {

using namespace bench;

constexpr int RowCount = 1000000;
constexpr int PageSize = 50;
constexpr qsizetype BlobSize = 20 * 1024 * 1024;

QString connectionString()
{
    return QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=bench;Data Source=(localdb);"
                          "Password=;Persist Security Info=True;User ID=sa");
}

// The statement text of the page with the given index (0 is the first page).
QString pageStatement(int pageIndex)
{
    const QString condition = QStringLiteral("WHERE (1=1)");
    QString skip;
    if (pageIndex > 0)
        skip = QStringLiteral(" AND (ID >(SELECT MAX(id) FROM (SELECT TOP %1 id  FROM fid_Main %2"
                              " ORDER BY id) AS T))  ")
                   .arg(PageSize * pageIndex)
                   .arg(condition);
    return QStringLiteral("SELECT TOP %1 id,f_1,f_2,f_3,picname,docname FROM fid_Main ")
               .arg(PageSize) +
           condition + skip + QStringLiteral(" ORDER BY id ");
}

const QString CountStatement = QStringLiteral("select id from  fid_Main WHERE (1=1)");

// The statement as SQLite runs it, for the raw side.
QByteArray sqliteText(const QString& statement)
{
    return db::sqlite::translateBatch(statement).first().toUtf8();
}

struct RawDatabase
{
    sqlite3* handle = nullptr;

    explicit RawDatabase(const QString& path) : handle(openLikeProgram(path)) {}
    ~RawDatabase() { sqlite3_close(handle); }

    sqlite3_stmt* prepare(const QByteArray& sql)
    {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(handle, sql.constData(), static_cast<int>(sql.size()), &statement,
                               nullptr) != SQLITE_OK)
            qFatal("raw prepare failed: %s", sqlite3_errmsg(handle));
        return statement;
    }
};

// Every value of every row copied into one buffer, as a careful client keeps
// a page. Both sides release what they read before their time ends.
Page rawRows(RawDatabase& raw, const QByteArray& sql)
{
    return takePage(raw.prepare(sql));
}

void compare(const char* name, const Pairs& pairs, const std::function<void()>& layer,
             const std::function<void()>& raw)
{
    printPaired(name, runPaired(pairs, layer, raw, {}, 3));
}

void build(const QString& folder)
{
    std::printf("building %d rows in %s\n", RowCount, qPrintable(folder));
    std::fflush(stdout);
    db::Connection connection(connectionString());
    db::Query query(connection);
    query.addSql(QStringLiteral(
        "create table fid_main(id int NOT NULL IDENTITY (1, 1),f_1 varchar(20),f_2 int,"
        "f_3 float,pic image,picmin image,picname varchar(240),doc image,"
        "docname varchar(240));"));
    query.execute();
    query.clearSql();
    query.addSql(
        QStringLiteral(
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM n WHERE x<%1) "
            "INSERT INTO fid_main(f_1,f_2,f_3,picname,docname) "
            "SELECT 'record '||x, x*7%1000, x/4.0, 'C:\\\\Pics\\\\'||x||'.jpg', NULL FROM n")
            .arg(RowCount));
    query.execute();
}

// In a child process: counts the rows through the layer and prints the peak
// memory before and after.
int countInChild()
{
    db::Connection connection(connectionString());
    connection.connect();
    const long before = peakMemoryKb();
    db::Query query(connection);
    query.addSql(CountStatement);
    const int count = query.countRows();
    std::printf("%d %ld %ld\n", count, before, peakMemoryKb());
    return 0;
}

void measureCountMemory(const QString& folder)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--count-in-child"), folder});
    child.waitForFinished(-1);
    const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
    if (figures.size() != 3) {
        std::printf("count in a child process failed\n");
        return;
    }
    std::printf("count of %s ids in a child process: peak memory %.1f MB "
                "(%.1f MB after connecting, before the count)\n",
                figures.at(0).constData(), figures.at(2).toLong() / 1024.0,
                figures.at(1).toLong() / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    // The process keeps its memory as the program's does, for both sides.
    db::keepBigBlocksApart();
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QTemporaryDir temporary;
    QString folder = temporary.path();
    const bool child = arguments.size() > 2 && arguments.at(1) == u"--count-in-child";
    if (child)
        folder = arguments.at(2);
    else if (arguments.size() > 1)
        folder = arguments.at(1);
    ProgramPaths::setExecutablePathForTesting(folder + QStringLiteral("/bench_db"));
    if (child)
        return countInChild();

    const QString path = ProgramPaths::folder() + QStringLiteral("bench.db");
    if (!QFile::exists(path))
        build(folder);

    db::Connection connection(connectionString());
    db::Query query(connection);
    RawDatabase raw(path);

    for (const int page : {1, 10000, 20000}) {
        const QString statement = pageStatement(page - 1);
        const QByteArray sql = sqliteText(statement);
        const QByteArray name = "page " + QByteArray::number(page);
        compare(
            name.constData(), page == 1 ? Pairs{200, 4000, 10000} : Pairs{},
            [&] {
                query.clearSql();
                query.addSql(statement);
                query.open();
                if (query.recordCount() != (page <= RowCount / PageSize ? PageSize : 0))
                    qFatal("wrong page size");
                query.close();
            },
            [&] { rawRows(raw, sql); });
    }

    const QByteArray countSql = sqliteText(CountStatement);
    compare(
        "count of 1,000,000 ids", Pairs{},
        [&] {
            query.clearSql();
            query.addSql(CountStatement);
            if (query.countRows() != RowCount)
                qFatal("wrong count");
        },
        [&] {
            sqlite3_stmt* statement = raw.prepare(countSql);
            int count = 0;
            while (sqlite3_step(statement) == SQLITE_ROW)
                ++count;
            sqlite3_finalize(statement);
            if (count != RowCount)
                qFatal("wrong raw count");
        });

    QByteArray blob(BlobSize, Qt::Uninitialized);
    for (qsizetype i = 0; i < blob.size(); ++i)
        blob[i] = static_cast<char>(i * 131 % 251);
    const QString writeStatement = QStringLiteral("update fid_Main set doc=:file where id=1;");
    const QByteArray rawWrite = "update fid_Main set doc=?1 where id=1";
    compare(
        "20 MB blob write", Pairs{},
        [&] {
            query.clearSql();
            query.addSql(writeStatement);
            query.setFileParameter(blob);
            query.execute();
        },
        [&] {
            sqlite3_stmt* statement = raw.prepare(rawWrite);
            sqlite3_bind_blob64(statement, 1, blob.constData(),
                                static_cast<sqlite3_uint64>(blob.size()), SQLITE_STATIC);
            if (sqlite3_step(statement) != SQLITE_DONE)
                qFatal("raw blob write failed: %s", sqlite3_errmsg(raw.handle));
            sqlite3_finalize(statement);
        });

    const QString readStatement = QStringLiteral("select doc from  fid_Main where id=1");
    const QByteArray rawRead = sqliteText(readStatement);
    compare(
        "20 MB blob read", Pairs{},
        [&] {
            query.clearSql();
            query.addSql(readStatement);
            query.open();
            if (query.bytes(QStringLiteral("doc")).size() != BlobSize)
                qFatal("wrong blob size");
            query.close();
        },
        [&] {
            sqlite3_stmt* statement = raw.prepare(rawRead);
            sqlite3_step(statement);
            const QByteArray bytes(static_cast<const char*>(sqlite3_column_blob(statement, 0)),
                                   sqlite3_column_bytes(statement, 0));
            sqlite3_finalize(statement);
            if (bytes.size() != BlobSize)
                qFatal("wrong raw blob size");
        });

    query.close();
    connection.disconnect();
    measureCountMemory(folder);
    return 0;
}
