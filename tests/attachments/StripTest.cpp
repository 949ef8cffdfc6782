#include "AttachmentWindow.h"
#include "PictureFiles.h"
#include "attachments/AttachmentStrip.h"
#include "platform/pictures/Bitmap.h"
#include "support/TestMain.h"

#include <QLabel>

using namespace PictureFiles;

namespace {

const QStringList Icons = {"ImgDoc", "ImgXLS", "ImgPDF", "ImgOther"};

} // namespace

// The attachment strip follows the record grid's current row: the document's
// name and icon, and the thumbnail fetched for rows that have a picture.
class StripTest final : public QObject
{
    Q_OBJECT

    AttachmentWindow w;

    QString shownIcon()
    {
        QStringList shown;
        for (const QString& name : Icons)
            if (!w.control<QLabel>(name)->isHidden())
                shown << name;
        return shown.join(QLatin1Char(','));
    }
    QPixmap picture() { return w.control<QLabel>("ImagePic")->pixmap(); }

private slots:
    void cleanup() { w.tearDown(); }

    // Names stored by Windows clients (doubled backslashes) and by this
    // program on Linux both show their file name.
    void documentNameAndIcon_data()
    {
        QTest::addColumn<QString>("stored"); // an SQL value
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("icon");
        QTest::newRow("upper-case .DOC") << "'Plan.DOC'"
                                         << "Plan.DOC"
                                         << "ImgDoc";
        QTest::newRow("Windows path") << "'C:\\\\Docs\\\\plan.xls'"
                                      << "plan.xls"
                                      << "ImgXLS";
        QTest::newRow(".docx is another type") << "'report.docx'"
                                               << "report.docx"
                                               << "ImgOther";
        QTest::newRow("Linux path, blank after .Pdf") << "'/home/op/Scan.Pdf '"
                                                      << "Scan.Pdf "
                                                      << "ImgPDF";
        QTest::newRow("drive colon") << "'D:report.pdf'"
                                     << "report.pdf"
                                     << "ImgPDF";
        QTest::newRow("no extension") << "'README'"
                                      << "README"
                                      << "";
        QTest::newRow("dot only in the folder") << "'C:\\\\v1.2\\\\README'"
                                                << "README"
                                                << "";
        QTest::newRow("Chinese name") << "'D:\\\\文档\\\\合同.xls'"
                                      << "合同.xls"
                                      << "ImgXLS";
        QTest::newRow("NULL") << "NULL"
                              << "没有文件数据!"
                              << "";
    }
    void documentNameAndIcon()
    {
        QFETCH(QString, stored);
        QFETCH(QString, caption);
        QFETCH(QString, icon);
        w.setUp();
        w.execute(
            {QStringLiteral("update fid_main set docname=%1, picname=%1 where id=2;").arg(stored)});
        w.loadPage();
        w.moveTo(1);
        QCOMPARE(w.control<QLabel>("PnlFileName")->text(), caption);
        QCOMPARE(shownIcon(), icon);
        const QString bare = stored == QLatin1String("NULL") ? QString() : caption;
        QCOMPARE(w.box->strip().CurrentDocumentName(), bare);
        QCOMPARE(w.box->strip().CurrentPictureName(), bare);
        QVERIFY(w.errors().isEmpty());

        // Another row, without names, clears both.
        w.moveTo(0);
        QCOMPARE(w.control<QLabel>("PnlFileName")->text(), QStringLiteral("没有文件数据!"));
        QCOMPARE(shownIcon(), QString());
        QVERIFY(w.box->strip().CurrentDocumentName().isEmpty());
        QVERIFY(w.box->strip().CurrentPictureName().isEmpty());
    }

    // Without document columns the name line and icons are never touched.
    void tableWithoutDocuments()
    {
        w.setUp(true, false);
        w.control<QLabel>("ImgPDF")->show();
        w.loadPage();
        w.moveTo(1);
        QCOMPARE(w.control<QLabel>("PnlFileName")->text(), QStringLiteral("文件名"));
        QVERIFY(!w.control<QLabel>("ImgPDF")->isHidden());
        QVERIFY(w.box->strip().CurrentDocumentName().isEmpty());
        QVERIFY(w.errors().isEmpty());
    }

    // Only rows with a picture name fetch their thumbnail, and only picmin.
    void thumbnailFollowsTheRow()
    {
        w.setUp();
        const QImage thumbnail = Halves({124, 73}, Red, Blue);
        w.setBlob(1, "picmin", pictures::encodeBmp(thumbnail));
        w.execute({"update fid_main set picname='C:\\\\Pics\\\\a.JPG' where id=1;",
                   "update fid_main set picname='/home/op/b.bmp' where id=3;"});
        w.recordStatements();
        w.loadPage();
        QVERIFY(w.errors().isEmpty());
        QVERIFY(w.sent.contains("select picmin from  fid_Main where id=1"));
        QCOMPARE(w.box->strip().CurrentPictureName(), QStringLiteral("a.JPG"));
        const QImage shown = picture().toImage();
        QCOMPARE(shown.size(), QSize(124, 73));
        QVERIFY(Near(shown.pixel(10, 36), Red, 0));
        QVERIFY(Near(shown.pixel(110, 36), Blue, 0));

        // No picture name: the area is cleared and nothing is asked.
        w.sent.clear();
        w.moveTo(1);
        QVERIFY(picture().isNull());
        QVERIFY(w.sent.filter("picmin").isEmpty());

        // A picture name with a NULL thumbnail: blank, without an error.
        w.moveTo(0);
        w.moveTo(2);
        QCOMPARE(w.sent.filter("picmin").constLast(), "select picmin from  fid_Main where id=3");
        QCOMPARE(w.box->strip().CurrentPictureName(), QStringLiteral("b.bmp"));
        QVERIFY(picture().isNull());
        QVERIFY(w.errors().isEmpty());
    }

    // Coming back to a record shows what its thumbnail is now, also when
    // another client replaced or removed it in between.
    void thumbnailChangedElsewhereIsShownAnew()
    {
        w.setUp();
        w.setBlob(1, "picmin", pictures::encodeBmp(Halves({124, 73}, Red, Blue)));
        w.setBlob(2, "picmin", pictures::encodeBmp(Halves({60, 40}, Blue, Blue)));
        w.execute({"update fid_main set picname='a.bmp';"});
        w.loadPage();
        w.moveTo(1);
        w.moveTo(0);
        QVERIFY(Near(picture().toImage().pixel(10, 36), Red, 0));

        w.setBlob(1, "picmin", pictures::encodeBmp(Halves({124, 73}, Blue, Red)));
        w.moveTo(1);
        QCOMPARE(picture().size(), QSize(60, 40));
        w.moveTo(0);
        QVERIFY(Near(picture().toImage().pixel(10, 36), Blue, 0));
        QVERIFY(Near(picture().toImage().pixel(110, 36), Red, 0));

        w.execute({"update fid_main set picmin=NULL where id=1;"});
        w.moveTo(1);
        w.moveTo(0);
        QVERIFY(picture().isNull());
        QVERIFY(w.errors().isEmpty());
    }

    // Thumbnail bytes that are not a bitmap end the refresh with an error;
    // the picture shown before stays.
    void damagedThumbnailIsReported()
    {
        w.setUp();
        w.setBlob(1, "picmin", pictures::encodeBmp(Halves({124, 73}, Red, Blue)));
        w.setBlob(2, "picmin", "not a bitmap");
        w.execute({"update fid_main set picname='a.bmp';"});
        w.loadPage();
        QVERIFY(!picture().isNull());
        w.moveTo(1);
        QCOMPARE(w.errors().size(), 1);
        QVERIFY2(w.errors().constFirst().contains("缩略图"), qPrintable(w.errors().constFirst()));
        QVERIFY(Near(picture().toImage().pixel(10, 36), Red, 0));
        // The name line was set before the thumbnail failed.
        QCOMPARE(w.control<QLabel>("PnlFileName")->text(), QStringLiteral("没有文件数据!"));
    }

    // A thumbnail that is not the program's own plain kind is decoded apart
    // from the window: shown when it decodes, reported when it does not.
    void otherThumbnailsAreDecodedApart_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("shown");
        QTest::newRow("8-bit palette")
            << pictures::encodeBmp(
                   Halves({124, 73}, Red, Blue).convertToFormat(QImage::Format_Indexed8))
            << true;
        for (const char* name : {"bmp-2.bmp", "bmp-3.bmp", "bmp-5.bmp"}) {
            const QString path = HostileFixture(QString::fromLatin1(name));
            if (!path.isEmpty())
                QTest::newRow(name) << ReadFile(path) << false;
        }
    }
    void otherThumbnailsAreDecodedApart()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, shown);
        w.setUp();
        w.setBlob(1, "picmin", stored);
        w.execute({"update fid_main set picname='a.bmp' where id=1;"});
        w.loadPage();
        if (shown) {
            QVERIFY(w.errors().isEmpty());
            QVERIFY(Near(picture().toImage().pixel(10, 36), Red, 0));
            QVERIFY(Near(picture().toImage().pixel(110, 36), Blue, 0));
        } else {
            QCOMPARE(w.errors().size(), 1);
            QVERIFY2(w.errors().constFirst().contains("缩略图数据不是位图"),
                     qPrintable(w.errors().constFirst()));
            QVERIFY(picture().isNull());
        }
    }

    // Without picture columns no thumbnail is fetched.
    void tableWithoutPictures()
    {
        w.setUp(false, true);
        w.recordStatements();
        w.loadPage();
        w.moveTo(1);
        QVERIFY(w.sent.filter("picmin").isEmpty());
        QVERIFY(picture().isNull());
        QVERIFY(w.box->strip().CurrentPictureName().isEmpty());
    }
};

VARDENIX_TEST_MAIN(StripTest)
#include "StripTest.moc"
