#include "AttachmentWindow.h"
#include "PictureFiles.h"
#include "attachments/AttachmentStrip.h"
#include "browser/RecordBrowser.h"
#include "common/ErrorReport.h"
#include "common/StepProgress.h"
#include "support/StopAt.h"
#include "support/TestMain.h"

#include <QDir>
#include <QLabel>
#include <QRandomGenerator>
#include <QToolButton>
#include <sqlite3.h>

using namespace PictureFiles;

namespace {

const QString Imported = QStringLiteral("文件成功导入到数据库中!点管理/查看刷新后显示。");
const QString Saved = QStringLiteral("文件成功保存!");

QByteArray RandomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(20240601);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(generator.generate() & 0xFF);
    return bytes;
}

bool OthersMayNotRead(const QString& path)
{
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    return (QFileInfo(path).permissions() & others) == 0;
}

} // namespace

// Documents: import into the current row, export to a chosen file, open
// through a copy in the temp folder.
class DocumentsTest final : public QObject
{
    Q_OBJECT

    AttachmentWindow w;

    void importFile() { w.control<QToolButton>("SpeedButton1")->click(); }
    void exportFile() { w.control<QToolButton>("SpeedButton2")->click(); }
    void openDocument()
    {
        Guarded([this] { w.box->strip().openDocument(); });
    }
    QStringList updates() const { return w.sent.filter(QRegularExpression("^update ")); }
    QString inputFile(const QString& name, const QByteArray& content)
    {
        QDir().mkpath(w.folder->file("in"));
        const QString path = w.folder->file("in/") + name;
        WriteFile(path, content);
        return path;
    }

private slots:
    void cleanup() { w.tearDown(); }

    // Import, export and open give back the file's bytes exactly.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("0 bytes") << QByteArray();
        QTest::newRow("a few bytes") << QByteArray("a\0b\r\n", 5);
        QTest::newRow("20 MB") << RandomBytes(20 * 1024 * 1024);
    }
    void roundTrip()
    {
        QFETCH(QByteArray, content);
        w.setUp();
        const QString path = inputFile("plan.doc", content);
        w.loadPage();
        w.recordStatements();

        w.answers << path;
        importFile();
        QCOMPARE(w.errors(), QStringList());
        QCOMPARE(w.notices(), QStringList{Imported});
        QCOMPARE(w.dialogs.constFirst().kind, FileDialogs::Kind::Open);
        QCOMPARE(updates(),
                 QStringList({"update fid_Main set doc=:file where id=1;",
                              "update fid_Main set docname='" + path + "' where id=1;"}));
        QCOMPARE(w.bytes(1, "doc"), content);
        QCOMPARE(w.field(1, "docname").toString(), path);
        QVERIFY(w.field(2, "doc").isNull()); // the other rows stay as they were

        // After "管理/查看" the strip names the document.
        w.loadPage();
        QCOMPARE(w.control<QLabel>("PnlFileName")->text(), QStringLiteral("plan.doc"));
        QVERIFY(!w.control<QLabel>("ImgDoc")->isHidden());

        w.sent.clear();
        const QString exported = w.folder->file("out.bin");
        w.answers << exported;
        exportFile();
        QCOMPARE(w.dialogs.constLast().kind, FileDialogs::Kind::Save);
        QCOMPARE(w.dialogs.constLast().presetName, QStringLiteral("plan.doc"));
        QVERIFY(w.sent.contains("select doc from  fid_Main where id=1"));
        QCOMPARE(ReadFile(exported), content);
        QCOMPARE(w.notices().constLast(), Saved);

        QTest::mouseDClick(w.control<QLabel>("ImgDoc"), Qt::LeftButton);
        QCOMPARE(w.errors(), QStringList());
        QCOMPARE(w.opened, QStringList{w.tempFolder() + "/doc1/plan.doc"});
        QCOMPARE(ReadFile(w.opened.constFirst()), content);
        QVERIFY(OthersMayNotRead(w.tempFolder()));
        QVERIFY(OthersMayNotRead(w.opened.constFirst()));
    }

    // The path is stored as chosen: backslashes doubled, a quote kept.
    void storedNames_data()
    {
        QTest::addColumn<QString>("name"); // the file's name in the input folder
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("icon");
        QTest::newRow("Windows path") << "C:\\Docs\\Plan.doc"
                                      << "C:\\\\Docs\\\\Plan.doc"
                                      << "Plan.doc"
                                      << "ImgDoc";
        QTest::newRow("single quote") << "it's.xls"
                                      << "it's.xls"
                                      << "it's.xls"
                                      << "ImgXLS";
        QTest::newRow("quotes and backslash") << "'a'\\''b.pdf"
                                              << "'a'\\\\''b.pdf"
                                              << "''b.pdf"
                                              << "ImgPDF";
        QTest::newRow("Chinese") << "合同.docx"
                                 << "合同.docx"
                                 << "合同.docx"
                                 << "ImgOther";
    }
    void storedNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, stored);
        QFETCH(QString, caption);
        QFETCH(QString, icon);
        w.setUp();
        const QString path = inputFile(name, "content");
        w.loadPage();
        w.moveTo(1);
        w.answers << path;
        importFile();
        QCOMPARE(w.errors(), QStringList());
        QCOMPARE(w.field(2, "docname").toString(), w.folder->file("in/") + stored);
        QCOMPARE(w.bytes(2, "doc"), QByteArray("content"));
        w.loadPage();
        w.moveTo(1);
        QCOMPARE(w.control<QLabel>("PnlFileName")->text(), caption);
        QVERIFY(!w.control<QLabel>(icon)->isHidden());
    }

    void cancelRunsNothing()
    {
        w.setUp();
        w.loadPage();
        w.recordStatements();
        importFile();
        exportFile();
        QCOMPARE(w.dialogs.size(), 2);
        QCOMPARE(w.sent, QStringList());
        QCOMPARE(w.messages->shown().size(), 0);
    }

    // No current row (an empty page, a row being added): a clear refusal
    // before any dialog or statement.
    void noCurrentRow_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("adding");
        QTest::newRow("empty page") << 0 << false;
        QTest::newRow("new row without id") << 2 << true;
    }
    void noCurrentRow()
    {
        QFETCH(int, rows);
        QFETCH(bool, adding);
        w.setUp(true, true, rows);
        w.loadPage();
        if (adding)
            w.box->browser().recordGrid().appendRow();
        w.recordStatements();
        w.answers << inputFile("a.doc", "x") << w.folder->file("out.doc");
        importFile();
        exportFile();
        QCOMPARE(w.errors().size(), 2);
        for (const QString& error : w.errors())
            QVERIFY2(error.contains("没有当前记录"), qPrintable(error));
        QCOMPARE(w.dialogs.size(), 0);
        QCOMPARE(w.sent.filter("fid_Main"), QStringList());
        QVERIFY(!QFile::exists(w.folder->file("out.doc")));
    }

    // docname holds 240 bytes of GBK text; a longer path is refused before
    // anything is stored.
    void longNames_data()
    {
        QTest::addColumn<QString>("folderName");
        QTest::addColumn<int>("gbkBytes"); // of the whole path made of ASCII; 0: a folder
        QTest::addColumn<bool>("accepted");
        QTest::newRow("240 bytes") << QString() << 240 << true;
        QTest::newRow("241 bytes") << QString() << 241 << false;
        // 140 Chinese characters: fewer than 240 characters, more than 240 bytes.
        const QString chinese(70, QChar(0x6587));
        QTest::newRow("Chinese, 2 bytes each") << chinese + "/" + chinese << 0 << false;
    }
    void longNames()
    {
        QFETCH(QString, folderName);
        QFETCH(int, gbkBytes);
        QFETCH(bool, accepted);
        w.setUp();
        QString path;
        if (gbkBytes > 0) {
            const QString prefix = w.folder->file("in/");
            path = prefix + QString(gbkBytes - prefix.size() - 4, 'n') + ".doc";
        } else {
            path = w.folder->file("in/") + folderName + "/a.doc";
        }
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteFile(path, "bytes");
        w.loadPage();
        w.recordStatements();
        w.answers << path;
        importFile();
        if (accepted) {
            QCOMPARE(w.errors(), QStringList());
            QCOMPARE(w.field(1, "docname").toString(), path);
        } else {
            QCOMPARE(w.errors().size(), 1);
            QVERIFY2(w.errors().constFirst().contains("太长"), qPrintable(w.errors().constFirst()));
            QCOMPARE(updates(), QStringList());
            QVERIFY(w.field(1, "doc").isNull());
            QVERIFY(w.field(1, "docname").isNull());
        }
    }

    // A file larger than one record of the database holds is refused before
    // it is read.
    void tooLargeFileIsRefused()
    {
        w.setUp();
        const QString path = inputFile("huge.doc", QByteArray());
        QFile file(path);
        // One byte over the limit of the engine; sparse, it takes no disk space.
        QVERIFY(file.resize(TestDatabase::embedded() ? 1000000001 : Q_INT64_C(2147483648)));
        w.loadPage();
        w.recordStatements();
        w.answers << path;
        importFile();
        QCOMPARE(w.errors().size(), 1);
        QVERIFY2(w.errors().constFirst().contains("文件太大"), qPrintable(w.errors().constFirst()));
        QCOMPARE(updates(), QStringList());
        QVERIFY(w.field(1, "doc").isNull());
        QVERIFY(w.field(1, "docname").isNull());
    }

    // A failure between the two updates leaves the row as it was.
    void failedImportLeavesTheRow()
    {
        w.setUp();
        w.setBlob(1, "doc", "old bytes");
        w.execute({"update fid_main set docname='old.doc' where id=1;"});
        w.refuseUpdates("docname", "docname refused");
        w.loadPage();
        w.answers << inputFile("new.doc", "new bytes");
        importFile();
        QCOMPARE(w.errors().size(), 1);
        QVERIFY2(w.errors().constFirst().contains("docname refused"),
                 qPrintable(w.errors().constFirst()));
        QCOMPARE(w.notices(), QStringList());
        QCOMPARE(w.bytes(1, "doc"), QByteArray("old bytes"));
        QCOMPARE(w.field(1, "docname").toString(), QStringLiteral("old.doc"));
    }

    // Another operator removed the record after it was shown: nothing is
    // stored in any record and no success is announced.
    void importIntoARecordRemovedElsewhere()
    {
        w.setUp();
        w.loadPage();
        w.execute({"delete from fid_main where id=1;"});
        w.answers << inputFile("new.doc", "new bytes");
        importFile();
        QCOMPARE(w.notices(), QStringList());
        QCOMPARE(w.errors().size(), 1);
        QVERIFY2(w.errors().constFirst().contains("已不在数据库中"),
                 qPrintable(w.errors().constFirst()));
        for (const int id : {2, 3}) {
            QVERIFY(w.field(id, "doc").isNull());
            QVERIFY(w.field(id, "docname").isNull());
        }
    }

    // A commit that fails (here another program reads the file and keeps
    // the writer from it past its wait) is followed by a read-back of the
    // record, which tells the operator that the document was not imported;
    // the record is as it was.
    void failedCommitIsReadBack()
    {
        if (!TestDatabase::embedded())
            QSKIP("a file lock of the embedded engine");
        w.setUp();
        w.setBlob(1, "doc", "old bytes");
        w.execute({"update fid_main set docname='old.doc' where id=1;"});
        w.loadPage();
        w.answers << inputFile("new.doc", "new bytes");

        sqlite3* reader = nullptr;
        const QByteArray file =
            QFile::encodeName(w.folder->file(w.folder->database().name() + ".db"));
        QCOMPARE(sqlite3_open_v2(file.constData(), &reader, SQLITE_OPEN_READONLY, nullptr),
                 SQLITE_OK);
        QCOMPARE(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM fid_main;", nullptr, nullptr,
                              nullptr),
                 SQLITE_OK);
        importFile();
        sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(reader);

        QCOMPARE(w.notices(), QStringList());
        QCOMPARE(w.errors().size(), 1);
        QVERIFY2(w.errors().constFirst().startsWith(
                     "提交导入时出错。读回这条记录后确认：文件没有导入，记录保持原样。"),
                 qPrintable(w.errors().constFirst()));
        QCOMPARE(w.bytes(1, "doc"), QByteArray("old bytes"));
        QCOMPARE(w.field(1, "docname").toString(), QStringLiteral("old.doc"));
    }

    void cancelLeavesEverythingAsItWas_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("stopAt"); // before the first piece, during, at the end
        for (const char* command : {"import", "export", "open"})
            for (const char* stopAt : {"before", "during", "end"})
                QTest::addRow("%s, stop %s", command, stopAt) << command << stopAt;
    }
    // "取消" in the progress of an import, an export or an opening: the
    // record, an earlier file of the chosen name and the desktop are left as
    // they were, and nothing is said.
    void cancelLeavesEverythingAsItWas()
    {
        QFETCH(QString, command);
        QFETCH(QString, stopAt);
        w.setUp();
        const QByteArray stored = RandomBytes(3 * 1024 * 1024 + 5);
        w.setBlob(1, "doc", stored);
        w.execute({"update fid_main set docname='old.doc' where id=1;"});
        w.loadPage();
        QDir().mkpath(w.folder->file("out"));
        const QString target = w.folder->file("out/old.doc");
        WriteFile(target, "an earlier file");

        StepProgress::setAnswerForTesting([&](const QString&, qint64 done, qint64 total) {
            return GoesOnUnlessStoppedAt(stopAt, done, total);
        });
        if (command == u"import") {
            w.answers << inputFile("new.doc", RandomBytes(2 * 1024 * 1024 + 7));
            importFile();
        } else if (command == u"export") {
            w.answers << target;
            exportFile();
        } else {
            openDocument();
        }
        StepProgress::setAnswerForTesting({});

        QCOMPARE(w.messages->shown().size(), 0);
        QVERIFY(w.bytes(1, "doc") == stored);
        QCOMPARE(w.field(1, "docname").toString(), QStringLiteral("old.doc"));
        QCOMPARE(ReadFile(target), QByteArray("an earlier file"));
        QCOMPARE(QDir(w.folder->file("out")).entryList(QDir::Files), QStringList{"old.doc"});
        QCOMPARE(w.opened, QStringList());
        QCOMPARE(w.tempFiles(), QStringList()); // no part of a copy either
    }

    void unreadableFileStoresNothing()
    {
        w.setUp();
        w.loadPage();
        w.answers << w.folder->file("missing.doc");
        importFile();
        QCOMPARE(w.errors().size(), 1);
        const QString error = w.errors().constFirst();
        QVERIFY2(error.startsWith("无法读取文件 " + w.folder->file("missing.doc") + "。"),
                 qPrintable(error));
        QVERIFY(w.field(1, "doc").isNull());
        QVERIFY(w.field(1, "docname").isNull());
    }

    // A row without a document exports an empty file, replacing what was there.
    void exportWithoutDocument()
    {
        w.setUp();
        const QString target = w.folder->file("existing.doc");
        WriteFile(target, "earlier content");
        w.loadPage();
        w.answers << target;
        exportFile();
        QCOMPARE(w.errors(), QStringList());
        QCOMPARE(w.notices(), QStringList{Saved});
        QCOMPARE(QFileInfo(target).size(), 0);
    }

    // Whatever name the database holds, the copy lands inside the temp folder.
    void storedNamesStayInTheTempFolder_data()
    {
        QTest::addColumn<QString>("stored"); // an SQL literal's content
        QTest::addColumn<QString>("copy");   // the copy's name in the temp folder
        QTest::newRow("Windows parent folders") << "..\\\\..\\\\outside.doc"
                                                << "outside.doc";
        QTest::newRow("Linux parent folders") << "../../outside.doc"
                                              << "outside.doc";
        QTest::newRow("absolute path") << "@outside.doc"
                                       << "outside.doc";
        QTest::newRow("hidden file") << ".hidden.doc"
                                     << "hidden.doc";
        // No type of a document: refused before anything is written.
        QTest::newRow("dot dot") << ".."
                                 << "";
        QTest::newRow("passwd") << "/etc/passwd"
                                << "";
        // 234 bytes in GBK, 349 in UTF-8: more than a Linux file name holds.
        QTest::newRow("long Chinese name")
            << QString(115, QChar(0x6587)) + ".doc" << QString(83, QChar(0x6587)) + ".doc";
    }
    void storedNamesStayInTheTempFolder()
    {
        QFETCH(QString, stored);
        QFETCH(QString, copy);
        w.setUp();
        stored.replace("@", w.folder->path());
        w.setBlob(1, "doc", "content");
        w.execute({"update fid_main set docname='" + stored + "' where id=1;"});
        w.loadPage();
        openDocument();
        QVERIFY(!QFile::exists(w.folder->file("outside.doc")));
        if (copy.isEmpty()) {
            QCOMPARE(w.errors().size(), 1);
            QCOMPARE(w.opened, QStringList());
            QCOMPARE(w.tempFiles(), QStringList());
            return;
        }
        QCOMPARE(w.errors(), QStringList());
        QCOMPARE(w.opened, QStringList{w.tempFolder() + "/doc1/" + copy});
        QCOMPARE(ReadFile(w.opened.constFirst()), QByteArray("content"));
        QCOMPARE(w.tempFiles(), QStringList{"doc1/" + copy});
    }

    // A stored name is drawn as its characters: tags stay text, characters
    // that draw nothing or turn the text around are shown as code points.
    void shownNames_data()
    {
        QTest::addColumn<QString>("stored"); // an SQL literal's content
        QTest::addColumn<QString>("shown");
        QTest::newRow("markup") << "C:\\\\in\\\\<font size=7>合同.pdf"
                                << "<font size=7>合同.pdf";
        QTest::newRow("right-to-left override")
            << QStringLiteral("合同\u202Etxt.exe") << "合同<U+202E>txt.exe";
        QTest::newRow("zero-width space")
            << QStringLiteral("合同.pdf\u200B.exe") << "合同.pdf<U+200B>.exe";
    }
    void shownNames()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        w.setUp();
        w.execute({"update fid_main set docname='" + stored + "' where id=1;"});
        w.loadPage();
        auto* name = w.control<QLabel>("PnlFileName");
        QCOMPARE(name->text(), AttachmentWindow::shownAfterStoring(shown));
        QCOMPARE(name->textFormat(), Qt::PlainText);
        // The export proposes the name as shown: a file saved under it shows
        // its true type.
        exportFile();
        QCOMPARE(w.dialogs.constLast().presetName, AttachmentWindow::shownAfterStoring(shown));
    }

    // Records whose documents share a name get copies of their own; a second
    // open of one replaces its copy; closing the window removes the copies
    // and the folder.
    void copiesLiveUntilTheWindowCloses()
    {
        w.setUp();
        w.setBlob(1, "doc", "first");
        w.setBlob(2, "doc", "second");
        w.execute({"update fid_main set docname='C:\\\\a\\\\same.pdf';"});
        w.loadPage();
        QTest::mouseDClick(w.control<QLabel>("ImgPDF"), Qt::LeftButton);
        QVERIFY(OthersMayNotRead(w.tempFolder()));
        const QString first = w.tempFolder() + "/doc1/same.pdf";
        const QString second = w.tempFolder() + "/doc2/same.pdf";
        QCOMPARE(ReadFile(first), QByteArray("first"));
        w.moveTo(1);
        QTest::mouseDClick(w.control<QLabel>("ImgPDF"), Qt::LeftButton);
        QCOMPARE(ReadFile(second), QByteArray("second"));
        QCOMPARE(ReadFile(first), QByteArray("first"));

        w.setBlob(2, "doc", "second, changed");
        QTest::mouseDClick(w.control<QLabel>("ImgPDF"), Qt::LeftButton);
        QCOMPARE(w.opened, QStringList({first, second, second}));
        QCOMPARE(ReadFile(second), QByteArray("second, changed"));
        QCOMPARE(w.errors(), QStringList());
        QCOMPARE(w.tempFiles(), QStringList({"doc1/same.pdf", "doc2/same.pdf"}));

        w.box->close();
        QVERIFY(!QFileInfo::exists(w.tempFolder()));
    }
};

VARDENIX_TEST_MAIN(DocumentsTest)
#include "DocumentsTest.moc"
