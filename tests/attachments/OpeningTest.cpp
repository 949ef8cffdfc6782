#include "AttachmentWindow.h"
#include "PictureFiles.h"
#include "attachments/AttachmentStrip.h"
#include "common/ErrorReport.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <sys/stat.h>
#include <unistd.h>

using namespace PictureFiles;

namespace {

// One of the shared picture files written by other programs.
QByteArray Fixture(const QString& name)
{
    const QString path = SharedFixture(name);
    if (path.isEmpty())
        qFatal("%s: $VARDENIX_FIXTURES/pictures is not available", qPrintable(name));
    return ReadFile(path);
}

// A zip whose first entry is the manifest of a Java archive.
QByteArray JavaArchive()
{
    QByteArray zip = QByteArray::fromHex("504b03040a0000000000000000000000000000000000000000001400"
                                         "0000");
    zip += "META-INF/MANIFEST.MF";
    zip += "Main-Class: Run\r\n";
    return zip;
}

constexpr uid_t Nobody = 65534;

} // namespace

// Opening a stored document or picture: which ones the desktop is given, the
// names they are shown and copied under, and the temp folder they go to.
// Names and bytes are what another client may have written.
class OpeningTest final : public QObject
{
    Q_OBJECT

    AttachmentWindow w;

    void openDocument()
    {
        Guarded([this] { w.box->strip().openDocument(); });
    }
    void viewPicture()
    {
        Guarded([this] { w.box->strip().viewPicture(); });
    }
    // Stores the attachment in the first row and shows the page.
    void store(const QString& field, const QString& name, const QByteArray& bytes)
    {
        w.setBlob(1, field, bytes);
        w.execute({"update fid_main set " + field + "name='" + name + "' where id=1;"});
        w.loadPage();
    }
    QString temp(const QString& inside = QString()) const
    {
        return inside.isEmpty() ? w.tempFolder() : w.tempFolder() + '/' + inside;
    }
    // Nothing handed to the desktop, nothing written in the temp folder.
    void requireNothingOpened()
    {
        QCOMPARE(w.opened, QStringList());
        QCOMPARE(w.tempFiles(), QStringList());
    }

private slots:
    void cleanup() { w.tearDown(); }

    // Only documents and pictures that a viewer shows go to the desktop; the
    // operator reads which file was refused and that it can be exported.
    void documentTypes_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QString>("shown"); // the name in the refusal
        const QStringList programs{
            "setup.exe",     "installer.msi", "run.bat",        "run.cmd",      "tool.com",
            "saver.scr",     "install.sh",    "readme.desktop", "tool.jar",     "link.lnk",
            "script.py",     "script.pl",     "macro.vbs",      "app.AppImage", "pack.deb",
            "pack.rpm",      "setup.run",     "page.html",      "drawing.svg",  "bundle.zip",
            "backup.tar.gz", "sheet.xlsm",    "letter.docm",    "SETUP.EXE",    "README",
            "合同.pdf.exe",  "setup.exe."};
        for (const QString& name : programs)
            QTest::newRow(qPrintable("refused " + name)) << name << false << name;
        const QStringList documents{"合同.pdf",   "plan.docx",   "plan.doc",  "table.xls",
                                    "table.xlsx", "notes.txt",   "data.csv",  "text.odt",
                                    "report.wps", "slides.pptx", "photo.jpg", "scan.png",
                                    "REPORT.PDF"};
        for (const QString& name : documents)
            QTest::newRow(qPrintable("opened " + name)) << name << true << QString();
        // What the name shows is not what it is: the true type decides.
        QTest::newRow("direction override")
            << QStringLiteral("合同\u202Efdp.exe") << false << "合同<U+202E>fdp.exe";
        QTest::newRow("markup") << "<font size=7>合同.exe" << false << "<font size=7>合同.exe";
    }
    void documentTypes()
    {
        QFETCH(QString, stored);
        QFETCH(bool, opened);
        QFETCH(QString, shown);
        shown = AttachmentWindow::shownAfterStoring(shown);
        w.setUp();
        store("doc", stored, "plain bytes");
        openDocument();
        if (opened) {
            QCOMPARE(w.errors(), QStringList());
            QCOMPARE(w.opened, QStringList{temp("doc1/") + stored});
            QCOMPARE(ReadFile(w.opened.constFirst()), QByteArray("plain bytes"));
            return;
        }
        QCOMPARE(w.errors().size(), 1);
        const QString error = w.errors().constFirst();
        QVERIFY2(error.startsWith("不能直接打开文件 " + shown + ":"), qPrintable(error));
        QVERIFY2(error.contains("导出..."), qPrintable(error));
        requireNothingOpened();
    }

    // Bytes of a program under a document's name are refused as well: some
    // desktops pick the handler by the bytes.
    void programBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("opened");
        QTest::newRow("Linux program") << QByteArray("\x7f"
                                                     "ELF\x02\x01\x01",
                                                     7)
                                       << false;
        QTest::newRow("Windows program") << QByteArray("MZ\x90\0\x03\0\0\0", 8) << false;
        QTest::newRow("shell script") << QByteArray("#!/bin/sh\nrm -rf ~\n") << false;
        QTest::newRow("desktop entry")
            << QByteArray("# note\n[Desktop Entry]\nType=Application\nExec=sh\n") << false;
        QTest::newRow("Java archive") << JavaArchive() << false;
        QTest::newRow("Windows shortcut")
            << QByteArray::fromHex("4c0000000114020000000000c000000000000046") << false;
        QTest::newRow("PDF") << QByteArray("%PDF-1.7\n%\xe2\xe3\xcf\xd3\n") << true;
        QTest::newRow("text") << QByteArray("合同内容\r\n") << true;
    }
    void programBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, opened);
        w.setUp();
        store("doc", "合同.pdf", bytes);
        openDocument();
        if (opened) {
            QCOMPARE(w.errors(), QStringList());
            QCOMPARE(w.opened, QStringList{temp("doc1/合同.pdf")});
            QCOMPARE(ReadFile(w.opened.constFirst()), bytes);
            return;
        }
        QCOMPARE(w.errors().size(), 1);
        QVERIFY2(w.errors().constFirst().startsWith("不能直接打开文件 合同.pdf:"),
                 qPrintable(w.errors().constFirst()));
        requireNothingOpened();
    }

    // A picture's copy takes the type its bytes have, whatever the stored
    // name says; bytes of no viewable picture type are refused.
    void pictureTypeFromBytes_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("copy"); // empty: refused
        QTest::newRow("JPEG named .exe") << "photo.exe" << Fixture("Portrait_6.jpg") << "photo.jpg";
        QTest::newRow("BMP named .jpg") << "photo.jpg" << Fixture("rgb24.bmp") << "photo.bmp";
        QTest::newRow("icon named .desktop")
            << "icon.desktop" << Fixture("python.ico") << "icon.ico";
        QTest::newRow("WMF named .bmp") << "drawing.bmp" << Fixture("drawing.wmf") << "drawing.wmf";
        QTest::newRow("EMF without extension")
            << "drawing" << Fixture("test-000.emf") << "drawing.emf";
        QTest::newRow("JPEG as its name says")
            << "scan.jpeg" << Fixture("app13-multiple.jpg") << "scan.jpg";
        QTest::newRow("direction override") << QStringLiteral("合同\u202Egpj.exe")
                                            << Fixture("Portrait_6.jpg") << "合同<U+202E>gpj.jpg";
        QTest::newRow("desktop entry named .jpg")
            << "photo.jpg" << QByteArray("[Desktop Entry]\nExec=sh\n") << QString();
        QTest::newRow("PNG, not a stored type")
            << "photo.png" << Fixture("hopper.png") << QString();
    }
    void pictureTypeFromBytes()
    {
        QFETCH(QString, stored);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, copy);
        copy = AttachmentWindow::shownAfterStoring(copy);
        QVERIFY(!bytes.isEmpty());
        w.setUp();
        store("pic", stored, bytes);
        viewPicture();
        if (copy.isEmpty()) {
            QCOMPARE(w.errors().size(), 1);
            QVERIFY2(w.errors().constFirst().startsWith("不能打开图片 " + stored + ":"),
                     qPrintable(w.errors().constFirst()));
            QVERIFY2(w.errors().constFirst().contains("导出图片(E)..."),
                     qPrintable(w.errors().constFirst()));
            requireNothingOpened();
            return;
        }
        QCOMPARE(w.errors(), QStringList());
        QCOMPARE(w.opened, QStringList{temp("pic1/") + copy});
        QCOMPARE(ReadFile(w.opened.constFirst()), bytes);
        QCOMPARE(w.tempFiles(), QStringList{"pic1/" + copy});
    }

    // A temp folder that is not the operator's own is refused with a message
    // and nothing is written, in it or where it leads.
    void foreignTempFolder_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("link to a folder") << "link";
        QTest::newRow("a file") << "file";
        QTest::newRow("open to others") << "0755";
        QTest::newRow("open to the group") << "0770";
        QTest::newRow("another user's") << "owner";
        QTest::newRow("record folder is a link") << "record link";
        QTest::newRow("record folder of another user") << "record owner";
    }
    void foreignTempFolder()
    {
        QFETCH(QString, kind);
        if (kind.contains("owner") && ::geteuid() != 0)
            QSKIP("giving a folder to another user needs root");
        w.setUp();
        store("doc", "合同.pdf", "secret");
        const QString elsewhere = w.folder->file("elsewhere");
        QVERIFY(QDir().mkdir(elsewhere));
        const QByteArray folder = QFile::encodeName(temp());
        if (kind == "link") {
            QVERIFY(QFile::link(elsewhere, temp()));
        } else if (kind == "file") {
            WriteFile(temp(), "a file");
        } else if (kind.startsWith("record")) {
            QVERIFY(::mkdir(folder.constData(), 0700) == 0);
            if (kind == "record link") {
                QVERIFY(QFile::link(elsewhere, temp("doc1")));
            } else {
                QVERIFY(QDir().mkdir(temp("doc1")));
                QVERIFY(::chown(QFile::encodeName(temp("doc1")).constData(), Nobody, Nobody) == 0);
            }
        } else {
            QVERIFY(::mkdir(folder.constData(), 0700) == 0);
            if (kind == "owner")
                QVERIFY(::chown(folder.constData(), Nobody, Nobody) == 0);
            else
                QVERIFY(::chmod(folder.constData(), kind.toUInt(nullptr, 8)) == 0);
        }

        openDocument();
        QCOMPARE(w.errors().size(), 1);
        const QString error = w.errors().constFirst();
        QVERIFY2(error.startsWith("临时文件夹 "), qPrintable(error));
        QVERIFY2(error.contains("没有写入任何文件"), qPrintable(error));
        QCOMPARE(w.opened, QStringList());
        QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        if (kind != "file")
            QCOMPARE(w.tempFiles(), QStringList());

        // Closing leaves what is not the program's own as it was.
        w.box->close();
        QVERIFY(QFileInfo(elsewhere).isDir());
        QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        if (kind == "file")
            QCOMPARE(ReadFile(temp()), QByteArray("a file"));
    }

    // A folder of the operator's, 0700 with the set-group-ID bit it took from
    // its parent, is the operator's own.
    void setGroupIdFolderIsOwn()
    {
        w.setUp();
        store("doc", "合同.pdf", "document");
        QVERIFY(::mkdir(QFile::encodeName(temp()).constData(), 0700) == 0);
        QVERIFY(::chmod(QFile::encodeName(temp()).constData(), 02700) == 0);
        openDocument();
        QCOMPARE(w.errors(), QStringList());
        QCOMPARE(w.opened, QStringList{temp("doc1/合同.pdf")});
    }

    // A link placed at the copy's name is replaced by a new file, never
    // written through; a file there is replaced, not written into.
    void entryAtTheCopysName_data()
    {
        QTest::addColumn<bool>("link");
        QTest::newRow("link") << true;
        QTest::newRow("file") << false;
    }
    void entryAtTheCopysName()
    {
        QFETCH(bool, link);
        w.setUp();
        store("doc", "合同.pdf", "the stored document");
        const QString victim = w.folder->file("victim.txt");
        WriteFile(victim, "keep me");
        const QFile::Permissions permissions = QFileInfo(victim).permissions();
        QVERIFY(::mkdir(QFile::encodeName(temp()).constData(), 0700) == 0);
        QVERIFY(::mkdir(QFile::encodeName(temp("doc1")).constData(), 0700) == 0);
        const QString copy = temp("doc1/合同.pdf");
        if (link)
            QVERIFY(QFile::link(victim, copy));
        else
            QVERIFY(::link(QFile::encodeName(victim).constData(),
                           QFile::encodeName(copy).constData()) == 0);
        openDocument();
        QCOMPARE(w.errors(), QStringList());
        QCOMPARE(w.opened, QStringList{copy});
        QVERIFY(!QFileInfo(copy).isSymLink());
        QCOMPARE(ReadFile(copy), QByteArray("the stored document"));
        QCOMPARE(ReadFile(victim), QByteArray("keep me"));
        QCOMPARE(QFileInfo(victim).permissions(), permissions);
    }

    // A run that ended without closing its window leaves its copies; the
    // next start removes them, and only them.
    void leftoversOfAKilledRun()
    {
        w.setUp();
        w.setBlob(1, "doc", "document");
        w.setBlob(2, "pic", Fixture("Portrait_6.jpg"));
        w.execute({"update fid_main set docname='合同.pdf' where id=1;",
                   "update fid_main set picname='photo.jpg' where id=2;"});
        w.loadPage();
        openDocument();
        w.moveTo(1);
        viewPicture();
        QCOMPARE(w.errors(), QStringList());
        // A copy cut off half-way, and files the program did not make.
        WriteFile(temp("doc1/.part-0123456789abcdef"), "half");
        QVERIFY(QDir().mkdir(temp("inner")));
        WriteFile(temp("inner/kept.txt"), "not a copy");
        QCOMPARE(w.tempFiles(), QStringList({"doc1/.part-0123456789abcdef", "doc1/合同.pdf",
                                             "inner/kept.txt", "pic2/photo.jpg"}));

        // The window goes without its close, as when the process is killed.
        w.box.reset();
        QCOMPARE(w.tempFiles().size(), 4);
        w.box = std::make_unique<TMainBox>();
        QCOMPARE(w.tempFiles(), QStringList{"inner/kept.txt"});
        QCOMPARE(w.errors(), QStringList());
    }

    // A start leaves a temp folder that is not the operator's own alone.
    void foreignLeftoversStay()
    {
        w.setUp();
        w.box.reset();
        QVERIFY(::mkdir(QFile::encodeName(temp()).constData(), 0700) == 0);
        QVERIFY(QDir().mkdir(temp("doc1")));
        WriteFile(temp("doc1/合同.pdf"), "someone's");
        QVERIFY(::chmod(QFile::encodeName(temp()).constData(), 0755) == 0);
        w.box = std::make_unique<TMainBox>();
        QCOMPARE(w.tempFiles(), QStringList{"doc1/合同.pdf"});
        w.box->close();
        QCOMPARE(w.tempFiles(), QStringList{"doc1/合同.pdf"});
    }
};

VARDENIX_TEST_MAIN(OpeningTest)
#include "OpeningTest.moc"
