#include "platform/db/ConnectionString.h"
#include "platform/db/SqliteEngine.h"
#include "platform/paths/ProgramPaths.h"
#include "signin/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString embeddedPath(const QString& database)
{
    return db::embeddedDatabasePath(db::parseConnectionString(
        BuildConnectionString(QStringLiteral("(localdb)"), database, QString(), QString())));
}

int modeOf(const QString& path)
{
    struct stat info = {};
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

} // namespace

// Each test has a root folder of its own: the data folder is root/data (as
// XDG_DATA_HOME), programs are installed under it with their manual.
class ProgramFolderTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void everythingLivesInTheProgramFolder_data();
    void everythingLivesInTheProgramFolder();
    void userFolderIsPrivateAndLinksTheManual();
    void anotherInstallFindsTheSameUserFolder();
    void usersOwnManualIsKept();
    void unmakeableUserFolderMakesTheWriteThrow();

private:
    // Puts an executable's folder with its manual at the relative path, with
    // the marker when asked, and runs "as" that executable.
    QString install(const QString& relative, bool perUser);
    QString path(const QString& relative) const { return m_root->path() + '/' + relative; }

    std::unique_ptr<QTemporaryDir> m_root;
    QByteArray m_dataHome;
};

void ProgramFolderTest::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("data"))));
}

void ProgramFolderTest::cleanup()
{
    ProgramPaths::setExecutablePathForTesting(QString());
    if (m_dataHome.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", m_dataHome);
    m_root.reset();
}

QString ProgramFolderTest::install(const QString& relative, bool perUser)
{
    writeFile(path(relative + QStringLiteral("/help.doc")), "manual of " + relative.toUtf8());
    if (perUser)
        writeFile(path(relative + '/' + ProgramPaths::PerUserMarker), QByteArray());
    const QString executable = path(relative + QStringLiteral("/vardenix"));
    ProgramPaths::setExecutablePathForTesting(executable);
    return executable;
}

void ProgramFolderTest::everythingLivesInTheProgramFolder_data()
{
    QTest::addColumn<bool>("perUser");
    QTest::addColumn<QString>("folder");
    QTest::newRow("run where it was built") << false << "usr/lib/vardenix/";
    QTest::newRow("installed") << true << "data/vardenix/";
}

void ProgramFolderTest::everythingLivesInTheProgramFolder()
{
    QFETCH(bool, perUser);
    QFETCH(QString, folder);
    install(QStringLiteral("usr/lib/vardenix"), perUser);

    QCOMPARE(ProgramPaths::folder(), path(folder));
    QCOMPARE(SettingsFilePath(), path(folder + QStringLiteral("vardenix.ini")));
    QCOMPARE(embeddedPath(QStringLiteral("demo")), path(folder + QStringLiteral("demo.db")));
    QCOMPARE(contentOf(ProgramPaths::folder() + QStringLiteral("help.doc")),
             QByteArray("manual of usr/lib/vardenix"));
    WriteConnectionSettings("(localdb)", "", "1433", "demo", "");
    QCOMPARE(ReadConnectionSettings().database, QStringLiteral("demo"));
    QCOMPARE(QFileInfo::exists(path(QStringLiteral("data"))), perUser);
}

void ProgramFolderTest::userFolderIsPrivateAndLinksTheManual()
{
    install(QStringLiteral("usr/lib/vardenix"), true);
    const QString folder = ProgramPaths::folder();
    QCOMPARE(modeOf(folder), 0700);
    const QFileInfo manual(folder + QStringLiteral("help.doc"));
    QVERIFY(manual.isSymLink());
    QCOMPARE(manual.symLinkTarget(), path(QStringLiteral("usr/lib/vardenix/help.doc")));
}

// A newer build installed elsewhere (or the same place) reads the settings
// and databases the operator had; the manual's link follows the program.
void ProgramFolderTest::anotherInstallFindsTheSameUserFolder()
{
    install(QStringLiteral("usr/lib/vardenix"), true);
    WriteConnectionSettings("(localdb)", "", "1433", "demo", "");
    WriteOperatorName("clerk");
    writeFile(embeddedPath(QStringLiteral("demo")), "records");
    const QString first = ProgramPaths::folder();

    install(QStringLiteral("opt/vardenix"), true);
    QCOMPARE(ProgramPaths::folder(), first);
    const ConnectionSettings settings = ReadConnectionSettings();
    QCOMPARE(settings.database, QStringLiteral("demo"));
    QCOMPARE(settings.dbuser, QStringLiteral("clerk"));
    QCOMPARE(contentOf(embeddedPath(QStringLiteral("demo"))), QByteArray("records"));
    QCOMPARE(QFileInfo(first + QStringLiteral("help.doc")).symLinkTarget(),
             path(QStringLiteral("opt/vardenix/help.doc")));
}

void ProgramFolderTest::usersOwnManualIsKept()
{
    writeFile(path(QStringLiteral("data/vardenix/help.doc")), "my notes");
    install(QStringLiteral("usr/lib/vardenix"), true);
    const QFileInfo manual(ProgramPaths::folder() + QStringLiteral("help.doc"));
    QVERIFY(!manual.isSymLink());
    QCOMPARE(contentOf(manual.filePath()), QByteArray("my notes"));
}

// A file where the data folder should be: the settings cannot be saved, and
// the error names the path, as beside an unwritable executable.
void ProgramFolderTest::unmakeableUserFolderMakesTheWriteThrow()
{
    writeFile(path(QStringLiteral("data")), "not a folder");
    install(QStringLiteral("usr/lib/vardenix"), true);
    QCOMPARE(ProgramPaths::folder(), path(QStringLiteral("data/vardenix/")));
    try {
        WriteConnectionSettings("(localdb)", "", "1433", "demo", "");
        QFAIL("the write succeeded");
    } catch (const std::runtime_error& error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(SettingsFilePath()), error.what());
    }
}

QTEST_GUILESS_MAIN(ProgramFolderTest)
#include "ProgramFolderTest.moc"
