#include "PictureFiles.h"
#include "attachments/Attachments.h"
#include "common/FileDialogs.h"
#include "support/MessageRecorder.h"
#include "support/ModalDriver.h"
#include "support/TestMain.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSplitter>
#include <QTemporaryDir>
#include <QtTest>

using namespace PictureFiles;

namespace {

// What the preview showed after each file was clicked in the list: the
// picture, or a null image for nothing.
struct Seen
{
    bool dialogShown = false;
    bool previewBesideTheList = false;
    QList<QImage> previews;
    QSize room;               // inside the preview's frame
    QStringList otherWindows; // dialogs shown beside the file dialog
};

// The picture-open dialog as the import opens it.
FileDialogs::Request PictureOpenRequest()
{
    return {FileDialogs::Kind::Open, QString(), Attachments::PictureFilter(),
            Attachments::PicturePreview};
}

// How the clicks follow each other: an operator who waits for each preview,
// or one who clicks on while the one before is still being made.
enum class Pace
{
    WaitForEach,
    WaitForLast
};

// Until the preview has what the last click asked for. The helper's own
// limits bound the wait.
void WaitForPreview(const QLabel* preview)
{
    while (preview->property("decoding").toBool())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// Opens the real dialog on the folder and clicks each file in its list in
// turn, as an operator does, then cancels it.
Seen ClickThrough(const QString& folder, const QStringList& names, Pace pace = Pace::WaitForEach)
{
    Seen seen;
    const ModalDriver<QFileDialog> driver([&](QFileDialog* dialog) {
        seen.dialogShown = true;
        dialog->setDirectory(folder);
        // The picture types' filter hides other files once the list has
        // settled; listing every file lets them be clicked too.
        dialog->setNameFilter(QStringLiteral("*"));
        auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
        auto* preview = dialog->findChild<QLabel*>(QStringLiteral("PicturePreview"));
        // The list sits in a splitter, the preview right of it.
        auto* splitter = dialog->findChild<QSplitter*>(QStringLiteral("splitter"));
        seen.previewBesideTheList = splitter && preview && preview->isVisible() &&
                                    preview->geometry().left() > splitter->geometry().right();
        auto* files = list ? qobject_cast<QFileSystemModel*>(list->model()) : nullptr;
        if (preview)
            seen.room = preview->contentsRect().size();
        for (const QString& name : names) {
            if (!files || !preview)
                break;
            const QString path = QDir(folder).filePath(name);
            QModelIndex index;
            if (!QTest::qWaitFor([&] {
                    index = files->index(path);
                    return index.isValid() && list->visualRect(index).isValid();
                }))
                break;
            list->scrollTo(index);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualRect(index).center());
            if (pace == Pace::WaitForEach || name == names.constLast())
                WaitForPreview(preview);
            const QPixmap shown = preview->pixmap();
            seen.previews.append(shown.isNull() ? QImage() : shown.toImage());
        }
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window != dialog && window->isVisible() && qobject_cast<QDialog*>(window))
                seen.otherWindows.append(window->windowTitle());
        dialog->reject();
    });
    FileDialogs::Choose(nullptr, PictureOpenRequest());
    return seen;
}

} // namespace

Q_DECLARE_METATYPE(Pace)

// The dialog that picks a picture to import: Qt's own file dialog with a
// preview of the selected file, decoded by the program's own decoders in a
// confined helper.
class PictureDialogTest final : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<MessageRecorder> m_messages;

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_folder->filePath(name);
        WriteFile(path, bytes);
        return path;
    }

private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        m_messages = std::make_unique<MessageRecorder>();
    }
    void cleanup()
    {
        m_messages.reset();
        m_folder.reset();
    }

    // Every loadable type shows its picture, scaled down to fit the preview
    // with its shape kept; a small one keeps its own size.
    void selectedPictureIsShown_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("natural");
        QTest::newRow("bmp") << "a.bmp" << Encoded(Halves({300, 150}, Red, Blue), "BMP")
                             << QSize(300, 150);
        QTest::newRow("1-bit bmp")
            << "mono.bmp" << PaletteBmp({300, 200}, 1, Red, Blue) << QSize(300, 200);
        QTest::newRow("ico") << "b.ico" << Encoded(Halves({32, 32}, Red, Blue), "ICO")
                             << QSize(32, 32);
        QTest::newRow("wmf") << "c.wmf" << HalvesWmf(Red, Blue) << QSize(200, 100);
        QTest::newRow("emf") << "d.emf" << HalvesEmf(Red, Blue) << QSize(200, 100);
        QTest::newRow("jpeg") << "e.JPG" << Encoded(Halves({400, 300}, Red, Blue), "JPEG")
                              << QSize(400, 300);
    }
    void selectedPictureIsShown()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, natural);
        write(name, bytes);
        const Seen seen = ClickThrough(m_folder->path(), {name});
        QVERIFY(seen.dialogShown);
        QVERIFY(seen.previewBesideTheList);
        QCOMPARE(seen.previews.size(), 1);
        const QImage& shown = seen.previews.constFirst();
        const bool fits =
            natural.width() <= seen.room.width() && natural.height() <= seen.room.height();
        QCOMPARE(shown.size(), fits ? natural : natural.scaled(seen.room, Qt::KeepAspectRatio));
        const int y = shown.height() / 2;
        QVERIFY2(Near(shown.pixel(shown.width() / 4, y), Red),
                 qPrintable(QColor(shown.pixel(shown.width() / 4, y)).name()));
        QVERIFY2(Near(shown.pixel(shown.width() * 3 / 4, y), Blue),
                 qPrintable(QColor(shown.pixel(shown.width() * 3 / 4, y)).name()));
        QVERIFY(m_messages->shown().isEmpty());
    }

    // A file that does not decode, or is no picture, clears the preview and
    // says nothing: no message, no other window.
    void undecodableFileShowsNothing()
    {
        write("good.jpg", Encoded(Halves({40, 40}, Red, Blue), "JPEG"));
        write("broken.jpg", QByteArray("not a picture"));
        write("cut.bmp", Encoded(Halves({64, 64}, Red, Blue), "BMP").left(60));
        write("notes.txt", QByteArray("text"));
        write("empty.emf", QByteArray());
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("folder.bmp")));
        const QStringList names{"good.jpg",  "broken.jpg", "good.jpg",  "cut.bmp",
                                "notes.txt", "empty.emf",  "folder.bmp"};
        const Seen seen = ClickThrough(m_folder->path(), names);
        QCOMPARE(seen.previews.size(), names.size());
        for (int i = 0; i < names.size(); ++i)
            QVERIFY2(seen.previews.at(i).isNull() == (names.at(i) != u"good.jpg"),
                     qPrintable(names.at(i)));
        QCOMPARE(seen.otherWindows, QStringList());
        QVERIFY(m_messages->shown().isEmpty());
    }

    // Every file made to break a decoder, merely selected, is decoded apart:
    // the program goes on, nothing is shown and nothing is said.
    void hostileFilesShowNothing()
    {
        const QString sample = HostileFixture(QStringLiteral("README.md"));
        if (sample.isEmpty())
            QSKIP("$VARDENIX_FIXTURES/hostile is not available");
        const QDir folder = QFileInfo(sample).dir();
        const QStringList names = folder.entryList(QDir::Files, QDir::Name);
        const Seen seen = ClickThrough(folder.path(), names);
        QCOMPARE(seen.previews.size(), names.size());
        for (int i = 0; i < names.size(); ++i)
            QVERIFY2(seen.previews.at(i).isNull(), qPrintable(names.at(i)));
        QCOMPARE(seen.otherWindows, QStringList());
        QVERIFY(m_messages->shown().isEmpty());
    }

    // A good picture selected after a hostile file is shown, whether the
    // hostile one's decoding had ended or was abandoned for the newer click.
    void goodPictureShowsAfterHostileFile_data()
    {
        QTest::addColumn<QString>("hostile");
        QTest::addColumn<Pace>("pace");
        for (const char* name : {"ico-1.ico", "emf-2.emf", "jpg-2.jpg"}) {
            const QString path = HostileFixture(QString::fromLatin1(name));
            if (path.isEmpty())
                QSKIP("$VARDENIX_FIXTURES/hostile is not available");
            QTest::addRow("%s, refused first", name) << path << Pace::WaitForEach;
            QTest::addRow("%s, abandoned", name) << path << Pace::WaitForLast;
        }
    }
    void goodPictureShowsAfterHostileFile()
    {
        QFETCH(QString, hostile);
        QFETCH(Pace, pace);
        const QString name = QFileInfo(hostile).fileName();
        write(name, ReadFile(hostile));
        write("good.bmp", Encoded(Halves({60, 40}, Red, Blue), "BMP"));
        const Seen seen = ClickThrough(m_folder->path(), {name, "good.bmp"}, pace);
        QCOMPARE(seen.previews.size(), 2);
        QVERIFY(seen.previews.constFirst().isNull());
        const QImage& shown = seen.previews.constLast();
        QCOMPARE(shown.size(), QSize(60, 40));
        QVERIFY(Near(shown.pixel(15, 20), Red));
        QVERIFY(Near(shown.pixel(45, 20), Blue));
        QVERIFY(m_messages->shown().isEmpty());
    }

    // The type list offers all loadable types together and each alone, and
    // a name that is not there yet is taken: the import reports it later.
    void typesAndAnyName()
    {
        QStringList filters;
        bool native = true;
        QFileDialog::FileMode mode = QFileDialog::ExistingFile;
        const ModalDriver<QFileDialog> driver([&](QFileDialog* dialog) {
            filters = dialog->nameFilters();
            native = !dialog->testOption(QFileDialog::DontUseNativeDialog);
            mode = dialog->fileMode();
            dialog->setDirectory(m_folder->path());
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!name) {
                dialog->reject();
                return;
            }
            name->setText(QStringLiteral("later.jpg"));
            QTest::keyClick(name, Qt::Key_Return);
        });
        const QString chosen = FileDialogs::Choose(nullptr, PictureOpenRequest());
        QCOMPARE(filters, QStringList({"所有图片 (*.bmp *.ico *.wmf *.emf *.jpg *.jpeg)",
                                       "位图 (*.bmp)", "图标 (*.ico)", "图元文件 (*.wmf)",
                                       "增强图元文件 (*.emf)", "JPEG 图像 (*.jpg *.jpeg)"}));
        QVERIFY(!native);
        QCOMPARE(mode, QFileDialog::AnyFile);
        QCOMPARE(chosen, QDir(m_folder->path()).filePath(QStringLiteral("later.jpg")));
    }
};

VARDENIX_TEST_MAIN(PictureDialogTest)
#include "PictureDialogTest.moc"
