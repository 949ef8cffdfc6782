// The embedded database as a file on disk: what the program leaves there
// for other SQLite tools, and what it finds there.

#include "DatabaseFixture.h"
#include "platform/db/DbError.h"

#include <QProcess>
#include <QTest>

namespace {

struct Shell
{
    int exitCode = -1;
    QString output;
    QString error;
};

// Runs SQL with the sqlite3 shell, the way an administrator would.
Shell RunSqlite3(const QString& file, const QString& sql)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), file, sql});
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

template <typename Call> QString failure(Call call)
{
    try {
        call();
    } catch (const db::DbError& error) {
        return error.message();
    }
    return QString();
}

} // namespace

class EmbeddedFileTest : public QObject
{
    Q_OBJECT

private slots:
    void sqliteToolsWriteTheProgramsDatabase();
    void filesOfEarlierVersionsKeepWorking();
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

QTEST_GUILESS_MAIN(EmbeddedFileTest)
#include "EmbeddedFileTest.moc"
