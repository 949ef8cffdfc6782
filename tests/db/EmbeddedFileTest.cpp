// The embedded database as a file on disk: what the program leaves there
// for other SQLite tools, and what it finds there.

#include "DatabaseFixture.h"
#include "common/EngineMessage.h"
#include "support/Failure.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

struct Shell
{
    int exitCode = -1;
    QString output;
    QString error;
};

// Runs SQL and dot-commands, one an argument, with the sqlite3 shell, the
// way an administrator would.
Shell RunSqlite3(const QString& file, const QStringList& commands)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"),
                  QStringList{QStringLiteral("-batch"), file} + commands);
    Shell shell;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) {
        shell.error = QStringLiteral("sqlite3 did not run: ") + process.errorString();
        return shell;
    }
    shell.exitCode = process.exitCode();
    shell.output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    shell.error = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return shell;
}

Shell RunSqlite3(const QString& file, const QString& sql)
{
    return RunSqlite3(file, QStringList{sql});
}

} // namespace

Q_DECLARE_METATYPE(db::MissingFile)

class EmbeddedFileTest : public QObject
{
    Q_OBJECT

private slots:
    void sqliteToolsWriteTheProgramsDatabase();
    void sqliteToolsSortTheProgramsDatabaseTheirOwnWay();
    void filesOfEarlierVersionsKeepWorking();
    void missingFile_data();
    void missingFile();
    void fileGoneUnderAnOpenConnection_data();
    void fileGoneUnderAnOpenConnection();
    void pooledSessionOfAReplacedFileIsNotReused();
    void fileThatIsNoDatabase();
    void databaseFileMissing_data();
    void databaseFileMissing();
    void newFilesMapTheirPages();
    void fileWithoutPageMapIsUsedAsItIs();
};

// The sqlite3 shell inserts, updates and vacuums a database the program
// made, and the column lengths hold there as in the program.
void EmbeddedFileTest::sqliteToolsWriteTheProgramsDatabase()
{
    FreshDatabase database;
    database.execute(standardFirstRun());
    database.execute({QStringLiteral("insert into fid_main(f_1,f_2) values ('甲乙',1);")});
    const QString file = database.folder.file(QStringLiteral("test.db"));

    const Shell written = RunSqlite3(
        file,
        QStringLiteral("INSERT INTO fid_main(f_1,f_2,docname) VALUES ('一二三四五六七八九十',2,"
                       "'a.doc'); UPDATE fid_main SET f_1='丙', f_3=2.5 WHERE f_2=1; "
                       "UPDATE fid_user SET user_alias='系统管理员'; VACUUM;"));
    QVERIFY2(written.exitCode == 0, qPrintable(written.error));
    QCOMPARE(database.column(QStringLiteral("select f_1 from fid_main order by id")),
             QStringList({"丙", "一二三四五六七八九十"}));
    QCOMPARE(database.column(QStringLiteral("select user_alias from fid_user")),
             QStringList{"系统管理员"});

    // 21 bytes of GBK in varchar(20), written by the shell and by the program.
    const Shell refused = RunSqlite3(
        file, QStringLiteral("INSERT INTO fid_main(f_1) VALUES ('一二三四五六七八九十a');"));
    QVERIFY(refused.exitCode != 0);
    QVERIFY2(refused.error.contains(QStringLiteral("String or binary data would be truncated")),
             qPrintable(refused.error));
    const QString error = failure([&] {
        database.execute({QStringLiteral("update fid_main set f_1='一二三四五六七八九十a';")});
    });
    QVERIFY2(error.contains(QStringLiteral("String or binary data would be truncated")),
             qPrintable(error));
    QCOMPARE(RunSqlite3(file, QStringLiteral("SELECT count(*) FROM fid_main")).output,
             QStringLiteral("2"));
    QCOMPARE(RunSqlite3(file, QStringLiteral("PRAGMA integrity_check")).output,
             QStringLiteral("ok"));
}

// The program sorts Chinese text by pinyin with a collation of its own
// connections; the file names none, so the sqlite3 shell still sorts and
// vacuums it, in the order of code points.
void EmbeddedFileTest::sqliteToolsSortTheProgramsDatabaseTheirOwnWay()
{
    FreshDatabase database;
    database.execute(standardFirstRun());
    database.execute({QStringLiteral("insert into fid_main(f_1) values ('中心');"
                                     "insert into fid_main(f_1) values ('阿姨');"
                                     "insert into fid_main(f_1) values ('Bravo');"
                                     "insert into fid_main(f_1) values ('亓官');")});
    const QString sorted =
        QStringLiteral("SELECT TOP 50 f_1 FROM fid_Main WHERE (1=1) order by f_1");
    QCOMPARE(database.column(sorted), QStringList({"Bravo", "阿姨", "亓官", "中心"}));

    const QString file = database.folder.file(QStringLiteral("test.db"));
    const Shell shell = RunSqlite3(
        file, QStringLiteral("VACUUM; SELECT group_concat(f_1, ' ') FROM (SELECT f_1 FROM "
                             "fid_main WHERE f_1 > 'a' ORDER BY f_1);"));
    QVERIFY2(shell.exitCode == 0, qPrintable(shell.error));
    QCOMPARE(shell.output, QStringLiteral("Bravo 中心 亓官 阿姨"));
    QCOMPARE(database.column(sorted), QStringList({"Bravo", "阿姨", "亓官", "中心"}));
}

// A file whose lengths are checked with the program's own gbk_length(), as
// earlier versions made them, keeps its rule in the program.
void EmbeddedFileTest::filesOfEarlierVersionsKeepWorking()
{
    FreshDatabase database;
    database.execute({QStringLiteral("CREATE TABLE t(id INTEGER PRIMARY KEY AUTOINCREMENT, s TEXT "
                                     "COLLATE NOCASE CHECK(gbk_length(s) <= 4)) STRICT;")});
    database.execute({QStringLiteral("insert into t(s) values ('中文');")});
    const QString error =
        failure([&] { database.execute({QStringLiteral("insert into t(s) values ('中文字');")}); });
    QVERIFY2(error.contains(QStringLiteral("CHECK constraint failed")), qPrintable(error));
    QCOMPARE(database.column(QStringLiteral("select s from t")), QStringList{"中文"});
}

// A connection makes a missing file only when it may; a file this process
// has had open is never made again unless a connection asks for it.
void EmbeddedFileTest::missingFile_data()
{
    QTest::addColumn<bool>("openedBefore");
    QTest::addColumn<db::MissingFile>("missing");
    QTest::addColumn<bool>("made");
    QTest::newRow("new, made the first time") << false << db::MissingFile::CreateFirstTime << true;
    QTest::newRow("new, refused") << false << db::MissingFile::Refuse << false;
    QTest::newRow("new, made") << false << db::MissingFile::Create << true;
    QTest::newRow("gone, not made again") << true << db::MissingFile::CreateFirstTime << false;
    QTest::newRow("gone, refused") << true << db::MissingFile::Refuse << false;
    QTest::newRow("gone, made on request") << true << db::MissingFile::Create << true;
}

void EmbeddedFileTest::missingFile()
{
    QFETCH(bool, openedBefore);
    QFETCH(db::MissingFile, missing);
    QFETCH(bool, made);
    TestFolder folder;
    const QString file = folder.file(QStringLiteral("test.db"));
    if (openedBefore) {
        db::Connection(folder.connectionString()).connect();
        QVERIFY(QFile::remove(file));
    }
    db::Connection connection(folder.connectionString(), missing);
    const QString error = failure([&] { connection.connect(); });
    QCOMPARE(QFile::exists(file), made);
    QCOMPARE(connection.isConnected(), made);
    QCOMPARE(error,
             made ? QString() : QStringLiteral("The database file %1 does not exist.").arg(file));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files),
             made ? QStringList{"test.db"} : QStringList());
}

// An open connection whose file is deleted or moved refuses every statement
// instead of working on the vanished file; the file moved back, it goes on.
void EmbeddedFileTest::fileGoneUnderAnOpenConnection_data()
{
    QTest::addColumn<QString>("step");
    QTest::newRow("select") << "select";
    QTest::newRow("execute") << "execute";
    QTest::newRow("count") << "count";
    QTest::newRow("transaction") << "transaction";
    QTest::newRow("grid row") << "row";
}

void EmbeddedFileTest::fileGoneUnderAnOpenConnection()
{
    QFETCH(QString, step);
    FreshDatabase database;
    database.execute(standardFirstRun());
    database.execute({QStringLiteral("insert into fid_main(f_1) values ('a');")});
    database.open(QStringLiteral("select id,f_1 from fid_main"));
    const QString file = database.folder.file(QStringLiteral("test.db"));
    const QString moved = database.folder.file(QStringLiteral("moved.db"));
    QVERIFY(QFile::rename(file, moved));

    const QString error = failure([&] {
        if (step == u"select")
            database.open(QStringLiteral("select f_1 from fid_main"));
        else if (step == u"execute")
            database.execute({QStringLiteral("insert into fid_main(f_1) values ('b');")});
        else if (step == u"count")
            database.count(QStringLiteral("select id from fid_main"));
        else if (step == u"transaction")
            db::Transaction transaction(database.connection);
        else {
            database.query.setRowValue(0, 1, QStringLiteral("changed"));
            database.query.postRow(0);
        }
    });
    QCOMPARE(error, QStringLiteral("The database file %1 does not exist.").arg(file));
    QCOMPARE(QDir(database.folder.path()).entryList(QDir::Files), QStringList{"moved.db"});

    QVERIFY(QFile::rename(moved, file));
    QCOMPARE(database.column(QStringLiteral("select f_1 from fid_main")), QStringList{"a"});
}

// A released session waits for the next connection; when its file has been
// replaced by another in the meantime, the next connection opens the new
// file instead of reading the one that is gone.
void EmbeddedFileTest::pooledSessionOfAReplacedFileIsNotReused()
{
    FreshDatabase database;
    database.execute({QStringLiteral("create table t(v varchar(10));"),
                      QStringLiteral("insert into t(v) values ('old');")});
    database.query.close();
    database.connection.disconnect();
    const QString file = database.folder.file(QStringLiteral("test.db"));
    const QString other = database.folder.file(QStringLiteral("other.db"));
    const Shell made =
        RunSqlite3(other, QStringLiteral("create table t(v text); insert into t values ('new');"));
    QVERIFY2(made.exitCode == 0, qPrintable(made.error));
    QVERIFY(QFile::remove(file));
    QVERIFY(QFile::rename(other, file));

    QCOMPARE(database.column(QStringLiteral("select v from t")), QStringList{"new"});
}

// SQLite's own text for a file that is no database, as the operator gets
// to read it.
void EmbeddedFileTest::fileThatIsNoDatabase()
{
    TestFolder folder;
    QFile file(folder.file(QStringLiteral("test.db")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    db::Connection connection(folder.connectionString());
    const QString error = failure([&] { connection.connect(); });
    QCOMPARE(EngineMessage::classify(error).failure, EngineMessage::Failure::NotADatabase);
}

void EmbeddedFileTest::databaseFileMissing_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("missing");
    QTest::newRow("existing file") << "here"
                                   << "(localdb)" << false;
    QTest::newRow("missing file") << "new"
                                  << "(LocalDB)" << true;
    QTest::newRow("name that is no file name") << "no/such"
                                               << "(localdb)" << false;
    QTest::newRow("no name") << ""
                             << "(localdb)" << false;
    QTest::newRow("SQL Server") << "new"
                                << "dbhost" << false;
}

void EmbeddedFileTest::databaseFileMissing()
{
    QFETCH(QString, database);
    QFETCH(QString, host);
    QFETCH(bool, missing);
    TestFolder folder;
    db::Connection(folder.connectionString(QStringLiteral("here"))).connect();
    const db::Connection connection(
        QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=%1;Data Source=%2;Password=;"
                       "Persist Security Info=True;User ID=sa")
            .arg(database, host));
    QCOMPARE(connection.databaseFileMissing(), missing);
}

// A file the program makes keeps a map of its pages, so that the names
// behind a record's picture are read without reading the picture's pages.
void EmbeddedFileTest::newFilesMapTheirPages()
{
    FreshDatabase database;
    database.execute(standardFirstRun());
    const QString file = database.folder.file(QStringLiteral("test.db"));
    QCOMPARE(RunSqlite3(file, QStringLiteral("PRAGMA auto_vacuum;")).output, QStringLiteral("2"));

    const Shell filled = RunSqlite3(
        file, QStringLiteral("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c "
                             "WHERE i < 20) INSERT INTO fid_main(f_1, pic, picname) "
                             "SELECT 'r' || i, randomblob(1000000), 'p' || i || '.jpg' FROM c;"));
    QVERIFY2(filled.exitCode == 0, qPrintable(filled.error));
    const Shell read = RunSqlite3(file, {QStringLiteral(".stats on"),
                                         QStringLiteral("select count(picname) from fid_main;")});
    const QRegularExpression misses(QStringLiteral("Page cache misses:\\s+(\\d+)"));
    const QRegularExpressionMatch match = misses.match(read.output);
    QVERIFY2(match.hasMatch(), qPrintable(read.output));
    // 20 MB of pictures are about 5,000 pages.
    QVERIFY2(match.captured(1).toInt() < 500, qPrintable(match.captured(1)));
    QCOMPARE(database.column(QStringLiteral("select picname from fid_main where id=20")),
             QStringList{"p20.jpg"});
}

// A file made elsewhere without the map opens and works as it is.
void EmbeddedFileTest::fileWithoutPageMapIsUsedAsItIs()
{
    TestFolder folder;
    const QString file = folder.file(QStringLiteral("test.db"));
    const Shell made =
        RunSqlite3(file, QStringLiteral("create table t(v text); insert into t values ('x');"));
    QVERIFY2(made.exitCode == 0, qPrintable(made.error));

    db::Connection connection(folder.connectionString());
    db::Query query(connection);
    query.setSql(QStringLiteral("select v from t"));
    query.open();
    QCOMPARE(query.text(QStringLiteral("v")), QStringLiteral("x"));
    query.close();
    connection.disconnect();
    QCOMPARE(RunSqlite3(file, QStringLiteral("PRAGMA auto_vacuum;")).output, QStringLiteral("0"));
}

QTEST_GUILESS_MAIN(EmbeddedFileTest)
#include "EmbeddedFileTest.moc"
