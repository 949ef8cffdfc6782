#include "platform/ini/IniFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

mode_t modeOf(const QString& path)
{
    struct stat info = {};
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

} // namespace

class IniFileTest : public QObject
{
    Q_OBJECT

private slots:
    void valuesComeBackByteExact_data();
    void valuesComeBackByteExact();
    void writesRawLinesInFirstWrittenOrder();
    void replacingKeepsPlaceAndOtherContent();
    void missingPartsReadEmpty();
    void refusesValuesTheFileCannotHold_data();
    void refusesValuesTheFileCannotHold();
    void fileIsReadableByItsOwnerOnly();
    void unwritableLocationThrowsNamingTheFile_data();
    void unwritableLocationThrowsNamingTheFile();
    void unreadableFileIsNotOverwritten();

private:
    QTemporaryDir m_dir;
};

void IniFileTest::valuesComeBackByteExact_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("comment starters") << QByteArray(";x#y");
    QTest::newRow("hash first") << QByteArray("#x");
    QTest::newRow("equals and brackets") << QByteArray("=[x]=");
    QTest::newRow("multi-line tag") << QByteArray("<<<END");
    QTest::newRow("quotes") << QByteArray("\"quoted\"");
    QTest::newRow("inner blanks") << QByteArray("a  b\tc");
    QTest::newRow("byte 127 and controls") << QByteArray("\x7f\x01\x1d");
    QTest::newRow("GBK bytes") << QByteArray("\xd5\xc5\xc8\xfd");
    QTest::newRow("high bytes") << QByteArray("\x80\xfe\xff");
}

void IniFileTest::valuesComeBackByteExact()
{
    QFETCH(QByteArray, value);
    const QString path = m_dir.filePath(QStringLiteral("values.ini"));
    {
        IniFile file(path);
        file.write("odbc", "key", value);
        file.write("odbc", "next", "after");
        file.save();
    }
    const IniFile file(path);
    QCOMPARE(file.read("odbc", "key"), value);
    QCOMPARE(file.read("odbc", "next"), QByteArray("after"));
}

void IniFileTest::writesRawLinesInFirstWrittenOrder()
{
    const QString path = m_dir.filePath(QStringLiteral("order.ini"));
    QFile::remove(path);
    IniFile file(path);
    file.write("odbc", "zeta", "1");
    file.write("odbc", "alpha", "a b");
    file.write("odbc", "mid", "");
    file.write("odbc", "zeta", "2");
    file.save();
    QCOMPARE(contentOf(path), QByteArray("[odbc]\nzeta=2\nalpha=a b\nmid=\n"));
}

void IniFileTest::replacingKeepsPlaceAndOtherContent()
{
    const QString path = m_dir.filePath(QStringLiteral("other.ini"));
    writeFile(path, "; kept\r\n\r\n[Other]\r\nx = 1\r\n\r\n[ODBC]\r\nHOST = old \r\nuser=u\r\n");
    {
        IniFile file(path);
        QCOMPARE(file.read("odbc", "host"), QByteArray("old"));
        file.write("odbc", "dbuser", "d");
        file.write("odbc", "host", "new");
        file.save();
    }
    const QByteArray content = contentOf(path);
    QVERIFY2(content.startsWith("; kept\n"), content.constData());
    QVERIFY2(content.contains("[Other]\nx=1\n"), content.constData());
    QVERIFY2(content.contains("[ODBC]\nHOST=new\nuser=u\ndbuser=d\n"), content.constData());
}

void IniFileTest::missingPartsReadEmpty()
{
    const IniFile missingFile(m_dir.filePath(QStringLiteral("absent.ini")));
    QCOMPARE(missingFile.read("odbc", "host"), QByteArray());

    const QString path = m_dir.filePath(QStringLiteral("partial.ini"));
    writeFile(path, "[other]\nhost=x\n[odbc]\nuser=y\nempty=\n");
    const IniFile file(path);
    QCOMPARE(file.read("none", "host"), QByteArray());
    QCOMPARE(file.read("odbc", "host"), QByteArray());
    QCOMPARE(file.read("odbc", "empty"), QByteArray());
    QCOMPARE(file.read("odbc", "user"), QByteArray("y"));
}

void IniFileTest::refusesValuesTheFileCannotHold_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("LF") << QByteArray("a\nb");
    QTest::newRow("CR") << QByteArray("a\rb");
    QTest::newRow("NUL") << QByteArray("a\0b", 3);
    QTest::newRow("leading blank") << QByteArray(" a");
    QTest::newRow("trailing blank") << QByteArray("a ");
    QTest::newRow("leading tab") << QByteArray("\ta");
    QTest::newRow("only a blank") << QByteArray(" ");
}

void IniFileTest::refusesValuesTheFileCannotHold()
{
    QFETCH(QByteArray, value);
    const QString path = m_dir.filePath(QStringLiteral("refused.ini"));
    writeFile(path, "[odbc]\nkey=kept\n");
    IniFile file(path);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, file.write("odbc", "key", value));
    file.save();
    QCOMPARE(contentOf(path), QByteArray("[odbc]\nkey=kept\n"));
}

void IniFileTest::fileIsReadableByItsOwnerOnly()
{
    const QString created = m_dir.filePath(QStringLiteral("created.ini"));
    IniFile fresh(created);
    fresh.write("odbc", "password", "secret");
    fresh.save();
    QCOMPARE(modeOf(created), mode_t(0600));

    const QString existing = m_dir.filePath(QStringLiteral("existing.ini"));
    writeFile(existing, "[odbc]\n");
    QVERIFY(QFile::setPermissions(existing, QFile::ReadOwner | QFile::WriteOwner |
                                                QFile::ReadGroup | QFile::ReadOther));
    QCOMPARE(modeOf(existing), mode_t(0644));
    IniFile file(existing);
    file.write("odbc", "password", "secret");
    file.save();
    QCOMPARE(modeOf(existing), mode_t(0600));
}

void IniFileTest::unwritableLocationThrowsNamingTheFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing folder") << m_dir.filePath(QStringLiteral("missing/settings.ini"));
    writeFile(m_dir.filePath(QStringLiteral("plain")), "not a folder");
    QTest::newRow("folder is a file") << m_dir.filePath(QStringLiteral("plain/settings.ini"));
    QTest::newRow("path is a folder") << m_dir.path();
}

void IniFileTest::unwritableLocationThrowsNamingTheFile()
{
    QFETCH(QString, path);
    IniFile file(path);
    file.write("odbc", "host", "x");
    try {
        file.save();
        QFAIL("save() succeeded");
    } catch (const std::runtime_error& error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(path), error.what());
    }
}

void IniFileTest::unreadableFileIsNotOverwritten()
{
    if (geteuid() == 0)
        QSKIP("permission bits do not stop the superuser from reading");
    const QString path = m_dir.filePath(QStringLiteral("unreadable.ini"));
    writeFile(path, "[odbc]\nhost=kept\n");
    QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
    IniFile file(path);
    QCOMPARE(file.read("odbc", "host"), QByteArray());
    file.write("odbc", "user", "x");
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, file.save());
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    QCOMPARE(contentOf(path), QByteArray("[odbc]\nhost=kept\n"));
}

QTEST_GUILESS_MAIN(IniFileTest)
#include "IniFileTest.moc"
