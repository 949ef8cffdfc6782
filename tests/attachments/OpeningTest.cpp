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

QByteArray Fixture(const QString& name)
{
    return ReadFile(qEnvironmentVariable("VARDENIX_FIXTURES") + QStringLiteral("/pictures/") +
                    name);
}

constexpr uid_t Nobody = 65534;

} // namespace

// Opening a stored document or picture: the temp folder its copy goes to.
class OpeningTest final : public QObject
{
    Q_OBJECT

    AttachmentWindow w;

    void openDocument()
    {
        Guarded([this] { w.box->strip().ImgPDFDblClick(); });
    }
    void viewPicture()
    {
        Guarded([this] { w.box->strip().V1Click(); });
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

private slots:
    void cleanup() { w.tearDown(); }

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
