#include "platform/ini/IniFile.h"
#include "platform/paths/ProgramPaths.h"
#include "signin/Settings.h"
#include "support/TestFolder.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(static_cast<char>(value));
    return result;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

QByteArray storedValue(const char* key)
{
    return IniFile(SettingsFilePath()).read("odbc", key);
}

} // namespace

class FileTest : public QObject
{
    Q_OBJECT

private slots:
    void scramble_data();
    void scramble();
    void printableBytesRotateAndComeBack_data();
    void printableBytesRotateAndComeBack();
    void scrambledTextNeverHoldsByte127();
    void connectionString_data();
    void connectionString();
    void settingsFileSitsBesideTheExecutable_data();
    void settingsFileSitsBesideTheExecutable();
    void writesKeysInOrderScrambled();
    void rewritingReplacesValuesInPlace();
    void everyValueReadsBackAsWritten_data();
    void everyValueReadsBackAsWritten();
    void readsFileOfAnotherClient();
    void readsFileOfTheRunScript();
    void missingPartsReadEmpty();
    void fileIsReadableByItsOwnerOnly();
    void unwritableFolderMakesTheWriteThrow_data();
    void unwritableFolderMakesTheWriteThrow();
};

void FileTest::scramble_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("scrambled");
    QTest::addColumn<QByteArray>("readBack");

    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("ddf") << QByteArray("abc");
    QTest::newRow("root") << QByteArray("root") << QByteArray("uqrv") << QByteArray("root");
    QTest::newRow("port") << QByteArray("1433") << QByteArray("4665") << QByteArray("1433");
    QTest::newRow("wraps at both positions")
        << QByteArray("~}|") << bytes({23, 21, 21}) << QByteArray("~}|");
    QTest::newRow("odd wrap, even no wrap")
        << QByteArray("||") << bytes({21, 126}) << QByteArray("||");
    QTest::newRow("localdb") << QByteArray("(localdb)") << QByteArray("+nredngd,")
                             << QByteArray("(localdb)");
    // Outside 21 to 126 the arithmetic is not reversible.
    QTest::newRow("bytes 0 and 20") << bytes({0, 20}) << bytes({3, 22}) << bytes({106, 126});
    QTest::newRow("byte 127") << bytes({127, 127}) << bytes({24, 23}) << bytes({21, 21});
    QTest::newRow("bytes 128 and 255") << bytes({128, 255}) << bytes({131, 1}) << bytes({234, 105});
    QTest::newRow("GBK text") << QByteArray("\xd5\xc5") << bytes({0xd8, 0xc7})
                              << bytes({0x3f, 0x2f});
}

void FileTest::scramble()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, scrambled);
    QFETCH(QByteArray, readBack);
    QCOMPARE(ScrambleText(plain), scrambled);
    QCOMPARE(UnscrambleText(scrambled), readBack);
}

void FileTest::printableBytesRotateAndComeBack_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("scrambled");
    // Bytes 21 to 126 turn within that range: three up at odd positions, two
    // up at even ones.
    for (int b = 21; b <= 126; ++b) {
        const char odd = static_cast<char>(21 + (b - 21 + 3) % 106);
        const char even = static_cast<char>(21 + (b - 21 + 2) % 106);
        QTest::addRow("byte %d at odd position", b) << bytes({b}) << QByteArray(1, odd);
        QTest::addRow("byte %d at even position", b) << bytes({'a', b}) << (QByteArray("d") + even);
    }
}

void FileTest::printableBytesRotateAndComeBack()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, scrambled);
    QCOMPARE(ScrambleText(plain), scrambled);
    QCOMPARE(UnscrambleText(scrambled), plain);
}

void FileTest::scrambledTextNeverHoldsByte127()
{
    // Values of this program's own form begin with byte 127, so no value that
    // another client scrambled can be taken for one.
    for (int b = 0; b <= 255; ++b) {
        const QByteArray scrambled = ScrambleText(bytes({b, b}));
        QVERIFY2(!scrambled.contains('\x7f'), QByteArray::number(b).constData());
    }
}

void FileTest::connectionString_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected");

    QTest::newRow("example") << "127.0.0.1"
                             << "stock"
                             << "sa" << QString()
                             << "Provider=SQLOLEDB.1;Initial Catalog=stock;Data Source=127.0.0.1;"
                                "Password=;Persist Security Info=True;User ID=sa";
    QTest::newRow("values verbatim")
        << " db1,1500 "
        << "a=b c"
        << "用户"
        << "p=w"
        << "Provider=SQLOLEDB.1;Initial Catalog=a=b c;Data Source= db1,1500 ;Password=p=w;"
           "Persist Security Info=True;User ID=用户";
    QTest::newRow("a semicolon quotes its value, so that it adds no key")
        << "h"
        << "a;b"
        << "sa"
        << "p;Data Source=evil"
        << "Provider=SQLOLEDB.1;Initial Catalog=\"a;b\";Data Source=h;"
           "Password=\"p;Data Source=evil\";Persist Security Info=True;User ID=sa";
    QTest::newRow("all empty") << QString() << QString() << QString() << QString()
                               << "Provider=SQLOLEDB.1;Initial Catalog=;Data Source=;Password=;"
                                  "Persist Security Info=True;User ID=";
}

void FileTest::connectionString()
{
    QFETCH(QString, host);
    QFETCH(QString, database);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    QCOMPARE(BuildConnectionString(host, database, user, password), expected);
}

void FileTest::settingsFileSitsBesideTheExecutable_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("settings");
    QTest::newRow("no extension") << "/opt/app/vardenix"
                                  << "/opt/app/vardenix.ini";
    QTest::newRow("extension replaced") << "/opt/app/vardenix.exe"
                                        << "/opt/app/vardenix.ini";
    QTest::newRow("last extension only") << "/opt/my.app/var.denix.exe"
                                         << "/opt/my.app/var.denix.ini";
}

void FileTest::settingsFileSitsBesideTheExecutable()
{
    QFETCH(QString, executable);
    QFETCH(QString, settings);
    ProgramPaths::setExecutablePathForTesting(executable);
    const QString path = SettingsFilePath();
    ProgramPaths::setExecutablePathForTesting(QString());
    QCOMPARE(path, settings);
}

void FileTest::writesKeysInOrderScrambled()
{
    TestFolder folder;
    QCOMPARE(SettingsFilePath(), folder.file(QStringLiteral("vardenix.ini")));
    WriteConnectionSettings("h", "u", "1433", "d", "p");
    WriteOperatorName("root");
    QCOMPARE(
        contentOf(SettingsFilePath()),
        QByteArray("[odbc]\nhost=k\nuser=x\nport=4665\ndatabase=g\npassword=s\ndbuser=uqrv\n"));

    const ConnectionSettings settings = ReadConnectionSettings();
    QCOMPARE(settings.host, "h");
    QCOMPARE(settings.user, "u");
    QCOMPARE(settings.database, "d");
    QCOMPARE(settings.password, "p");
    QCOMPARE(settings.dbuser, "root");
}

void FileTest::rewritingReplacesValuesInPlace()
{
    TestFolder folder;
    WriteOperatorName("root");
    WriteConnectionSettings("h", "u", "1433", "d", "p");
    WriteConnectionSettings("abc", "", "1433", "demo", "");
    WriteOperatorName("admin");
    QCOMPARE(contentOf(SettingsFilePath()),
             QByteArray("[odbc]\ndbuser=dfpkq\nhost=ddf\nuser=\nport=4665\ndatabase=ggpq\n"
                        "password=\n"));
}

void FileTest::everyValueReadsBackAsWritten_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("storedScrambled"); // stored exactly as ScrambleText gives it

    QTest::newRow("printable ASCII")
        << QString::fromLatin1(QByteArray(" !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRS"
                                          "TUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~"))
        << true;
    QTest::newRow("blanks at both ends") << " pass word " << true;
    QTest::newRow("scrambles to a comment start") << " x8" << true;      // "#"..
    QTest::newRow("scrambles to a multi-line tag") << "9:9 END" << true; // "<<<"..
    QTest::newRow("wraps around") << "~}|" << true;
    QTest::newRow("Chinese operator") << "张三" << false;
    QTest::newRow("Chinese and ASCII") << "管理员01" << false;
    QTest::newRow("euro sign") << "€" << false;
    QTest::newRow("outside GBK") << "😀 ok" << false;
    QTest::newRow("tab") << "a\tb" << false;
    QTest::newRow("line break") << "a\r\nb\n" << false;
    QTest::newRow("control byte") << QString(QChar(1)) << false;
    QTest::newRow("byte 127") << "a\x7f" << false;
    QTest::newRow("byte 21") << QString(QChar(21)) << true;
    // Byte 29 at an odd position and byte 30 at an even one scramble to a
    // blank, which the file would drop at either end.
    QTest::newRow("blank at the end") << "ab" + QString(QChar(29)) << false;
    QTest::newRow("blank at the start") << QString(QChar(29)) + "ab" << false;
    QTest::newRow("blank at an even end") << "a" + QString(QChar(30)) << false;
    QTest::newRow("blank inside") << "a" + QString(QChar(30)) + "b" << true;
}

void FileTest::everyValueReadsBackAsWritten()
{
    QFETCH(QString, value);
    QFETCH(bool, storedScrambled);
    TestFolder folder;
    WriteConnectionSettings(value, value, "1433", value, value);
    WriteOperatorName(value);

    const ConnectionSettings settings = ReadConnectionSettings();
    QCOMPARE(settings.host, value);
    QCOMPARE(settings.user, value);
    QCOMPARE(settings.database, value);
    QCOMPARE(settings.password, value);
    QCOMPARE(settings.dbuser, value);

    const QByteArray stored = storedValue("dbuser");
    if (storedScrambled)
        QCOMPARE(stored, ScrambleText(value.toLatin1()));
    else
        QVERIFY(stored.startsWith('\x7f'));
    QCOMPARE(storedValue("port"), QByteArray("4665"));
}

void FileTest::readsFileOfAnotherClient()
{
    TestFolder folder;
    writeFile(SettingsFilePath(), "; written elsewhere\r\n\r\n[Other]\r\nhost=zzz\r\n\r\n"
                                  "[ODBC]\r\nHost = 4;5048;03042/3823 \r\nUSER=vc\r\nport=4665\r\n"
                                  "database=vvren\r\npassword=" +
                                      bytes({23, 21, 21}) + "\r\ndbuser=uqrv\r\n");
    const ConnectionSettings settings = ReadConnectionSettings();
    QCOMPARE(settings.host, "192.168.0.10,1500");
    QCOMPARE(settings.user, "sa");
    QCOMPARE(settings.database, "stock");
    QCOMPARE(settings.password, "~}|");
    QCOMPARE(settings.dbuser, "root");

    WriteOperatorName("admin");
    const QByteArray content = contentOf(SettingsFilePath());
    QVERIFY2(content.contains("[Other]\nhost=zzz\n"), content.constData());
    QVERIFY2(content.contains("\ndbuser=dfpkq\n"), content.constData());
    QCOMPARE(ReadConnectionSettings().host, "192.168.0.10,1500");
}

void FileTest::readsFileOfTheRunScript()
{
    TestFolder folder;
    writeFile(SettingsFilePath(), "[odbc]\nhost=+nredngd,\ndatabase=ggpq\n");
    const ConnectionSettings settings = ReadConnectionSettings();
    QCOMPARE(settings.host, "(localdb)");
    QCOMPARE(settings.database, "demo");
    QCOMPARE(settings.user, QString());
    QCOMPARE(settings.password, QString());
    QCOMPARE(settings.dbuser, QString());
}

void FileTest::missingPartsReadEmpty()
{
    TestFolder folder;
    const auto isEmpty = [](const ConnectionSettings& settings) {
        return settings.host.isEmpty() && settings.user.isEmpty() && settings.database.isEmpty() &&
               settings.password.isEmpty() && settings.dbuser.isEmpty();
    };
    QVERIFY(isEmpty(ReadConnectionSettings()));
    QVERIFY(!QFile::exists(SettingsFilePath()));

    writeFile(SettingsFilePath(), "[other]\nhost=ddf\n");
    QVERIFY(isEmpty(ReadConnectionSettings()));

    writeFile(SettingsFilePath(), "[odbc]\nhost=\nuser=ddf\n");
    const ConnectionSettings settings = ReadConnectionSettings();
    QCOMPARE(settings.host, QString());
    QCOMPARE(settings.user, "abc");
    QCOMPARE(settings.database, QString());
}

void FileTest::fileIsReadableByItsOwnerOnly()
{
    TestFolder folder;
    WriteConnectionSettings("h", "u", "1433", "d", "secret");
    struct stat info = {};
    QCOMPARE(stat(QFile::encodeName(SettingsFilePath()).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0600));
}

void FileTest::unwritableFolderMakesTheWriteThrow_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("missing folder") << "missing";
    QTest::newRow("folder is a file") << "plain";
    QTest::newRow("read-only folder") << "readonly";
}

void FileTest::unwritableFolderMakesTheWriteThrow()
{
    QFETCH(QString, folder);
    TestFolder base;
    if (folder == QLatin1String("plain"))
        writeFile(base.file(folder), "not a folder");
    if (folder == QLatin1String("readonly")) {
        if (geteuid() == 0)
            QSKIP("permission bits do not stop the superuser from writing");
        QVERIFY(QDir(base.path()).mkdir(folder));
        QVERIFY(QFile::setPermissions(base.file(folder), QFile::ReadOwner | QFile::ExeOwner));
    }
    ProgramPaths::setExecutablePathForTesting(base.file(folder + "/vardenix"));
    try {
        WriteConnectionSettings("h", "u", "1433", "d", "p");
        QFAIL("the write succeeded");
    } catch (const std::runtime_error& error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(SettingsFilePath()), error.what());
    }
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, WriteOperatorName("root"));
    QVERIFY(!QFile::exists(SettingsFilePath()));
}

QTEST_GUILESS_MAIN(FileTest)
#include "FileTest.moc"
