#include "AttachmentWindow.h"
#include "PictureFiles.h"
#include "attachments/AttachmentStrip.h"
#include "common/StepProgress.h"
#include "platform/pictures/Bitmap.h"
#include "support/StopAt.h"
#include "support/TestMain.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>

using namespace PictureFiles;

namespace {

const QString Imported = QStringLiteral("图片成功导入到数据库中!点管理/查看刷新后显示。");
const QString Saved = QStringLiteral("图形文件成功保存!");

const PixelChecks HalvesChecks{{{2, 2}, Red},     {{20, 36}, Red},  {{2, 70}, Red},
                               {{104, 36}, Blue}, {{121, 2}, Blue}, {{121, 70}, Blue}};

} // namespace

// Pictures: import with the thumbnail, export, view through the temp folder.
class PictureCommandsTest final : public QObject
{
    Q_OBJECT

    AttachmentWindow w;

    void trigger(const char* action) { w.control<QAction>(action)->trigger(); }
    QStringList updates() const { return w.sent.filter(QRegularExpression("^update ")); }
    QString inputFile(const QString& name, const QByteArray& content)
    {
        QDir().mkpath(w.folder->file("in"));
        const QString path = w.folder->file("in/") + name;
        WriteFile(path, content);
        return path;
    }
    // Row 1 with a picture stored earlier.
    static QByteArray oldThumbnail()
    {
        return pictures::encodeBmp(Halves({124, 73}, Green, Green));
    }
    void storeOldPicture()
    {
        w.setBlob(1, "pic", "old picture");
        w.setBlob(1, "picmin", oldThumbnail());
        w.execute({"update fid_main set picname='old.bmp' where id=1;"});
    }
    void verifyOldPicture()
    {
        QCOMPARE(w.bytes(1, "pic"), QByteArray("old picture"));
        QCOMPARE(w.bytes(1, "picmin"), oldThumbnail());
        QCOMPARE(w.field(1, "picname").toString(), QStringLiteral("old.bmp"));
    }

private slots:
    void cleanup() { w.tearDown(); }

    // pic holds the file's bytes, picmin a 124 x 73 BMP of the whole picture
    // stretched (an icon top-left at its own size), picname the path.
    void importEachType_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<PixelChecks>("checks");
        QTest::newRow("jpg") << "photo.jpg" << Encoded(Halves({400, 300}, Red, Blue), "JPEG")
                             << HalvesChecks;
        QTest::newRow("wide JPEG, squeezed")
            << "wide.JPEG" << Encoded(EdgeBands({1600, 400}, Green, Red, Blue), "JPEG")
            << PixelChecks{{{4, 36}, Green}, {{62, 36}, Red},   {{62, 1}, Red},
                           {{62, 71}, Red},  {{119, 36}, Blue}, {{4, 1}, Green}};
        QTest::newRow("Windows path, .JPG")
            << "C:\\Pics\\a.JPG" << Encoded(Halves({64, 48}, Red, Blue), "JPEG") << HalvesChecks;
        QTest::newRow("bmp") << "halves.bmp" << Encoded(Halves({300, 100}, Red, Blue), "BMP")
                             << HalvesChecks;
        QTest::newRow("ico") << "icon.ico" << Encoded(Halves({16, 16}, Green, Green), "ICO")
                             << PixelChecks{{{1, 1}, Green},
                                            {{14, 14}, Green},
                                            {{17, 17}, White},
                                            {{60, 36}, White},
                                            {{121, 70}, White}};
        QTest::newRow("wmf") << "halves.wmf" << HalvesWmf(Red, Blue) << HalvesChecks;
        QTest::newRow("emf") << "halves.Emf" << HalvesEmf(Red, Blue) << HalvesChecks;
    }
    void importEachType()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(PixelChecks, checks);
        w.setUp();
        const QString path = inputFile(name, content);
        w.loadPage();
        w.moveTo(1);
        w.recordStatements();
        w.answers << path;
        trigger("N2");
        QCOMPARE(w.errors(), QStringList());
        QCOMPARE(w.notices(), QStringList{Imported});
        const QString stored = QString(path).replace("\\", "\\\\");
        QCOMPARE(updates(),
                 QStringList({"update fid_Main set pic=:file where id=2;",
                              "update fid_Main set picmin=:file where id=2;",
                              "update fid_Main set picname='" + stored + "' where id=2;"}));
        QCOMPARE(w.bytes(2, "pic"), content);
        QCOMPARE(w.field(2, "picname").toString(), stored);
        const QByteArray thumbnailBytes = w.bytes(2, "picmin");
        QVERIFY(thumbnailBytes.startsWith("BM"));
        const QImage thumbnail = pictures::decodeBmp(thumbnailBytes);
        QCOMPARE(thumbnail.size(), QSize(124, 73));
        for (const PixelCheck& check : checks)
            QVERIFY2(Near(thumbnail.pixel(check.at), check.colour),
                     qPrintable(QStringLiteral("pixel (%1,%2) is %3")
                                    .arg(check.at.x())
                                    .arg(check.at.y())
                                    .arg(QColor(thumbnail.pixel(check.at)).name())));
        QVERIFY(w.field(1, "pic").isNull());

        // After "管理/查看" the picture area shows the thumbnail.
        w.loadPage();
        w.moveTo(1);
        QCOMPARE(w.box->strip().CurrentPictureName(), QFileInfo(path).fileName().section('\\', -1));
        QCOMPARE(
            w.control<QLabel>("ImagePic")->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
            thumbnail.convertToFormat(QImage::Format_RGB32));
    }

    // Files written by other programs import the same way.
    void importRealFiles_data()
    {
        QTest::addColumn<QString>("path");
        for (const char* name :
             {"drawing.emf", "drawing.wmf", "python.ico", "pal8topdown.bmp", "pil_sample_cmyk.jpg"})
            QTest::newRow(name) << OwnFixture(name);
        for (const char* name :
             {"Portrait_6.jpg", "app13-multiple.jpg", "pillow.ico", "pal4rle.bmp", "rgb24.bmp",
              "rgba32.bmp", "fulltest.wmf", "text.wmf", "test-000.emf", "test-093.emf"})
            QTest::newRow(name) << SharedFixture(name);
    }
    void importRealFiles()
    {
        QFETCH(QString, path);
        if (path.isEmpty())
            QSKIP("$VARDENIX_FIXTURES/pictures is not available");
        w.setUp();
        w.loadPage();
        w.answers << path;
        trigger("N2");
        QCOMPARE(w.errors(), QStringList());
        QCOMPARE(w.notices(), QStringList{Imported});
        QCOMPARE(w.bytes(1, "pic"), ReadFile(path));
        QCOMPARE(pictures::decodeBmp(w.bytes(1, "picmin")).size(), QSize(124, 73));
        QCOMPARE(w.field(1, "picname").toString(), path);
    }

    // Other types, missing files and damaged content are refused before any
    // statement: the row keeps its picture.
    void refusedFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // null: no such file
        QTest::addColumn<QString>("message");
        QTest::newRow("png") << "hopper.png" << ReadFile(OwnFixture("hopper.png")) << "不能导入";
        QTest::newRow("gif") << "hopper.GIF" << ReadFile(OwnFixture("hopper.gif")) << "不能导入";
        QTest::newRow("no extension") << "picture" << QByteArray("x") << "不能导入";
        QTest::newRow("truncated jpeg")
            << "cut.jpg" << ReadFile(OwnFixture("truncated_jpeg.jpg")) << "无法读取";
        QTest::newRow("png named bmp")
            << "fake.bmp" << ReadFile(OwnFixture("hopper.png")) << "无法读取";
        QTest::newRow("empty emf") << "empty.emf" << QByteArray("") << "无法读取";
        QTest::newRow("missing file") << "absent.jpg" << QByteArray() << "无法读取";
        QTest::newRow("path longer than 240 bytes")
            << QString(240, 'n') + ".jpg" << Encoded(Halves({64, 48}, Red, Blue), "JPEG") << "太长";
    }
    void refusedFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        w.setUp();
        storeOldPicture();
        const QString path =
            content.isNull() ? w.folder->file("in/") + name : inputFile(name, content);
        w.loadPage();
        w.recordStatements();
        w.answers << path;
        trigger("N2");
        QCOMPARE(w.errors().size(), 1);
        QVERIFY2(w.errors().constFirst().contains(message), qPrintable(w.errors().constFirst()));
        QCOMPARE(w.notices(), QStringList());
        QCOMPARE(updates(), QStringList());
        verifyOldPicture();
    }

    // A file made to break a decoder is refused with a message, decoded apart
    // from the window: the window goes on, and a value typed into the grid and
    // not yet written stays and is written when the cursor leaves its row.
    void hostileFilesLeaveTheTypedRow_data()
    {
        QTest::addColumn<QString>("path");
        const QString sample = HostileFixture(QStringLiteral("README.md"));
        if (sample.isEmpty())
            QSKIP("$VARDENIX_FIXTURES/hostile is not available");
        const QDir folder = QFileInfo(sample).dir();
        for (const QFileInfo& file : folder.entryInfoList(QDir::Files, QDir::Name))
            if (file.suffix() != QLatin1String("md"))
                QTest::newRow(qPrintable(file.fileName())) << file.filePath();
    }
    void hostileFilesLeaveTheTypedRow()
    {
        QFETCH(QString, path);
        w.setUp();
        storeOldPicture();
        w.box->show();
        QVERIFY(QTest::qWaitForWindowActive(w.box.get()));
        w.loadPage();
        w.moveTo(0);
        auto* grid = w.control<QTableView>(QStringLiteral("DBGrid1"));
        grid->setFocus();
        QTest::keyClicks(grid, QStringLiteral("t"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("yped"));
        w.recordStatements();
        w.answers << inputFile(QFileInfo(path).fileName(), ReadFile(path));
        trigger("N2");

        QCOMPARE(w.errors().size(), 1);
        QVERIFY2(w.errors().constFirst().contains("无法读取"), qPrintable(w.errors().constFirst()));
        QCOMPARE(updates(), QStringList());
        verifyOldPicture();

        // The editor still holds the value, not yet written; it is written
        // when the cursor leaves the row.
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("typed"));
        QCOMPARE(w.field(1, "f_1").toString(), QStringLiteral("记录1"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(w.field(1, "f_1").toString(), QStringLiteral("typed"));
    }

    // A file larger than one record of the database holds is refused before
    // it is read or decoded.
    void tooLargeFileIsRefused()
    {
        w.setUp();
        storeOldPicture();
        const QString path = inputFile("huge.jpg", QByteArray());
        QFile file(path);
        // One byte over the limit of the engine; sparse, it takes no disk space.
        QVERIFY(file.resize(TestDatabase::embedded() ? 1000000001 : Q_INT64_C(2147483648)));
        w.loadPage();
        w.recordStatements();
        w.answers << path;
        trigger("N2");
        QCOMPARE(w.errors().size(), 1);
        QVERIFY2(w.errors().constFirst().contains("文件太大"), qPrintable(w.errors().constFirst()));
        QCOMPARE(updates(), QStringList());
        verifyOldPicture();
    }

    // A failure between the three updates leaves the row as it was.
    void failedImportLeavesTheRow_data()
    {
        QTest::addColumn<QString>("column");
        QTest::newRow("picmin refused") << "picmin";
        QTest::newRow("picname refused") << "picname";
    }
    void failedImportLeavesTheRow()
    {
        QFETCH(QString, column);
        w.setUp();
        storeOldPicture();
        w.refuseUpdates(column, "column refused");
        w.loadPage();
        w.answers << inputFile("new.jpg", Encoded(Halves({64, 48}, Red, Blue), "JPEG"));
        trigger("N2");
        QCOMPARE(w.errors().size(), 1);
        QVERIFY(w.errors().constFirst().contains("column refused"));
        QCOMPARE(w.notices(), QStringList());
        verifyOldPicture();
    }

    // Both picture dialogs list the loadable types together and each alone.
    void dialogsOfferTheLoadableTypes()
    {
        w.setUp();
        w.loadPage();
        trigger("N2");
        trigger("E1");
        QCOMPARE(w.dialogs.size(), 2);
        const QString types = "所有图片 (*.bmp *.ico *.wmf *.emf *.jpg *.jpeg);;位图 (*.bmp);;"
                              "图标 (*.ico);;图元文件 (*.wmf);;增强图元文件 (*.emf);;"
                              "JPEG 图像 (*.jpg *.jpeg)";
        QCOMPARE(w.dialogs.at(0).kind, FileDialogs::Kind::Open);
        QCOMPARE(w.dialogs.at(0).filter, types);
        QCOMPARE(w.dialogs.at(1).kind, FileDialogs::Kind::Save);
        QCOMPARE(w.dialogs.at(1).filter, types);
        // The import's dialog previews the selected picture.
        QVERIFY(w.dialogs.at(0).preview);
        QVERIFY(!w.dialogs.at(1).preview);
        QCOMPARE(w.messages->shown().size(), 0);
    }

    // The stored bytes go out unchanged, whatever extension is chosen.
    void exportKeepsTheBytes_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("same type") << "copy.jpg";
        QTest::newRow("other extension") << "copy.bmp";
        QTest::newRow("no extension") << "copy";
    }
    void exportKeepsTheBytes()
    {
        QFETCH(QString, target);
        w.setUp();
        const QByteArray jpeg = Encoded(Halves({64, 48}, Red, Blue), "JPEG");
        w.setBlob(1, "pic", jpeg);
        w.execute({"update fid_main set picname='D:\\\\照片\\\\原图.jpg' where id=1;"});
        w.loadPage();
        w.recordStatements();
        w.answers << w.folder->file(target);
        trigger("E1");
        QCOMPARE(w.errors(), QStringList());
        QCOMPARE(w.dialogs.constFirst().presetName, QStringLiteral("原图.jpg"));
        QVERIFY(w.sent.contains("select pic from  fid_Main where id=1"));
        QCOMPARE(ReadFile(w.folder->file(target)), jpeg);
        QCOMPARE(w.notices(), QStringList{Saved});
    }

    void exportWithoutPicture()
    {
        w.setUp();
        w.loadPage();
        w.answers << w.folder->file("empty.bmp");
        trigger("E1");
        QCOMPARE(w.errors(), QStringList());
        QCOMPARE(w.notices(), QStringList{Saved});
        QCOMPARE(QFileInfo(w.folder->file("empty.bmp")).size(), 0);
    }

    // The menu item and a double-click both open a copy in the temp folder.
    void viewOpensACopy()
    {
        w.setUp();
        const QByteArray jpeg = Encoded(Halves({64, 48}, Red, Blue), "JPEG");
        w.setBlob(2, "pic", jpeg);
        w.execute({"update fid_main set picname='/home/op/view.jpg' where id=2;"});
        w.loadPage();
        w.moveTo(1);
        trigger("V1");
        QTest::mouseDClick(w.control<QLabel>("ImagePic"), Qt::LeftButton);
        QCOMPARE(w.errors(), QStringList());
        const QString copy = w.tempFolder() + "/pic2/view.jpg"; // in a folder of its record
        QCOMPARE(w.opened, QStringList({copy, copy}));
        QCOMPARE(ReadFile(copy), jpeg);
        const QFile::Permissions others = QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup |
                                          QFile::WriteOther | QFile::ExeGroup | QFile::ExeOther;
        QCOMPARE(QFileInfo(copy).permissions() & others, QFile::Permissions());
        QCOMPARE(QFileInfo(w.tempFolder()).permissions() & others, QFile::Permissions());

        w.box->close();
        QVERIFY(!QFileInfo::exists(w.tempFolder()));
    }

    // An empty picture area ends with an error report, not with a viewer.
    void viewWithoutPicture()
    {
        w.setUp();
        w.loadPage();
        w.recordStatements();
        trigger("V1");
        QTest::mouseDClick(w.control<QLabel>("ImagePic"), Qt::LeftButton);
        QCOMPARE(w.errors(), QStringList(2, QStringLiteral("没有图片数据!")));
        QCOMPARE(w.opened, QStringList());
        QCOMPARE(w.sent, QStringList());
        QCOMPARE(QDir(w.tempFolder()).entryList(QDir::Files), QStringList());
    }

    // Another operator removed the record after it was shown: nothing is
    // stored in any record and no success is announced.
    void importIntoARecordRemovedElsewhere()
    {
        w.setUp();
        w.loadPage();
        w.execute({"delete from fid_main where id=1;"});
        w.answers << inputFile("a.jpg", Encoded(Halves({64, 48}, Red, Blue), "JPEG"));
        trigger("N2");
        QCOMPARE(w.notices(), QStringList());
        QCOMPARE(w.errors().size(), 1);
        QVERIFY2(w.errors().constFirst().contains("已不在数据库中"),
                 qPrintable(w.errors().constFirst()));
        for (const int id : {2, 3})
            for (const char* column : {"pic", "picmin", "picname"})
                QVERIFY(w.field(id, column).isNull());
    }

    void cancelLeavesThePictureAsItWas_data()
    {
        QTest::addColumn<QString>("stopAt"); // before the first piece, during, at the end
        for (const char* stopAt : {"before", "during", "end"})
            QTest::newRow(stopAt) << stopAt;
    }
    // "取消" while a picture of several pieces goes in: the picture, its
    // thumbnail and its name stay as they were, and nothing is said.
    void cancelLeavesThePictureAsItWas()
    {
        QFETCH(QString, stopAt);
        w.setUp();
        storeOldPicture();
        w.loadPage();
        const QString path = inputFile("big.bmp", Encoded(Halves({1200, 1000}, Red, Blue), "BMP"));
        QVERIFY(QFileInfo(path).size() > 3 * 1024 * 1024);
        w.answers << path;
        QStringList steps;
        StepProgress::setAnswerForTesting([&](const QString& what, qint64 done, qint64 total) {
            steps << what;
            return GoesOnUnlessStoppedAt(stopAt, done, total);
        });
        trigger("N2");
        StepProgress::setAnswerForTesting({});
        QCOMPARE(steps.constFirst(), QStringLiteral("正在导入图片"));
        QCOMPARE(w.messages->shown().size(), 0);
        verifyOldPicture();
    }

    void noCurrentRow()
    {
        w.setUp(true, true, 0);
        w.loadPage();
        w.recordStatements();
        w.answers << inputFile("a.jpg", Encoded(Halves({64, 48}, Red, Blue), "JPEG"))
                  << w.folder->file("out.jpg");
        trigger("N2");
        trigger("E1");
        QCOMPARE(w.errors().size(), 2);
        for (const QString& error : w.errors())
            QVERIFY2(error.contains("没有当前记录"), qPrintable(error));
        QCOMPARE(w.dialogs.size(), 0);
        QCOMPARE(w.sent.filter("fid_Main"), QStringList());
    }
};

VARDENIX_TEST_MAIN(PictureCommandsTest)
#include "PictureCommandsTest.moc"
