#include "admin/Addmdiuser.h"
#include "admin/Set.h"
#include "attachments/AttachmentStrip.h"
#include "browser/BrowserTestSupport.h"
#include "browser/RecordBrowser.h"
#include "common/FileDialogs.h"
#include "common/SqlText.h"
#include "platform/text/Gbk.h"
#include "support/FillingText.h"
#include "support/ModalDriver.h"
#include "support/TestMain.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

namespace {

// The text columns' lengths in GBK bytes; an integer column follows them.
const QList<int> TextLengths = {10, 20, 128};

// Titles of 48 bytes, the most fid_title.title holds.
QList<DesignColumn> FullTitleColumns(bool mixed)
{
    QList<DesignColumn> columns;
    for (int n = 0; n < TextLengths.size(); ++n)
        columns.append({FillingText(48, mixed, n), QStringLiteral("varchar"), TextLengths.at(n)});
    columns.append({FillingText(48, mixed, int(TextLengths.size())), QStringLiteral("int"), 10});
    return columns;
}

// The texts of record `id`, each filling its column; records differ.
QStringList FullTexts(int id, bool mixed)
{
    QStringList texts;
    for (int n = 0; n < TextLengths.size(); ++n)
        texts.append(FillingText(TextLengths.at(n), mixed, id + n));
    return texts;
}

QString InsertRecord(int id, bool mixed)
{
    const QStringList texts = FullTexts(id, mixed);
    return QStringLiteral("insert into fid_main(f_1,f_2,f_3,f_4) values ('%1','%2','%3',%4);")
        .arg(QuoteDoubled(texts.at(0)), QuoteDoubled(texts.at(1)), QuoteDoubled(texts.at(2)))
        .arg(id);
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// A path of exactly `bytes` GBK bytes below base, ending in the extension:
// folders of 80 bytes, since Linux takes at most 255 UTF-8 bytes in a name.
QString FullPath(const QString& base, int bytes, const QString& extension, bool mixed)
{
    QString path = base;
    int left = bytes - Gbk::byteLength(base) - Gbk::byteLength(extension);
    for (int n = 0; left > 80 + 1 + 40; ++n) {
        path += FillingText(80, mixed, n) + u'/';
        left -= 80 + 1;
    }
    return path + FillingText(left, mixed, 7) + extension;
}

} // namespace

// Chinese text that fills its column, read back whole wherever the program
// shows it or writes it again: the record grid, the catalogue, the
// attachment strip, the operators, the settings and the CSV export.
class FullLengthTextTest final : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_fixture;

    // The design with full titles and `records` records inserted by the
    // test's own connection, the window on its first page.
    std::unique_ptr<TMainBox> browse(bool mixed, int records, bool attachments = false)
    {
        m_fixture->createDatabase(FullTitleColumns(mixed), attachments, attachments);
        QStringList inserts;
        for (int id = 1; id <= records; ++id)
            inserts.append(InsertRecord(id, mixed));
        if (!inserts.isEmpty())
            m_fixture->execute(inserts);
        return openWindow(true);
    }

    std::unique_ptr<TMainBox> openWindow(bool records)
    {
        auto box = std::make_unique<TMainBox>();
        box->show();
        if (records)
            Button(*box, "SpeedButton3")->click();
        return box;
    }

    // The grid's rows as shown: the texts, then the integer.
    static QList<QStringList> shownRows(TMainBox& box)
    {
        const QAbstractItemModel* model = RecordGrid(box)->model();
        QList<QStringList> rows;
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < model->columnCount(); ++column)
                cells.append(model->index(row, column).data().toString());
            rows.append(cells);
        }
        return rows;
    }

    static QStringList expectedRow(int id, bool mixed, int number)
    {
        return FullTexts(id, mixed) << QString::number(number);
    }

    QStringList storedRow(int id)
    {
        return m_fixture
            ->rows(QStringLiteral("select f_1,f_2,f_3,f_4 from fid_main where id=%1").arg(id))
            .value(0);
    }

    static bool setCell(TMainBox& box, int row, int column, const QString& text)
    {
        QAbstractItemModel* model = RecordGrid(box)->model();
        return model->setData(model->index(row, column), text);
    }

    static void addVariants()
    {
        QTest::addColumn<bool>("mixed");
        QTest::newRow("Chinese") << false;
        QTest::newRow("Chinese and ASCII") << true;
    }

private slots:
    void init() { m_fixture = std::make_unique<MainWindowFixture>(); }
    void cleanup() { m_fixture.reset(); }

    void catalogueTitles_data() { addVariants(); }
    void catalogueTitles()
    {
        QFETCH(bool, mixed);
        auto box = browse(mixed, 0);
        const QList<DesignColumn> columns = FullTitleColumns(mixed);
        auto* searchColumns = MainWindowFixture::control<QComboBox>(*box, QStringLiteral("Com11"));
        QCOMPARE(searchColumns->count(), columns.size());
        const QAbstractItemModel* model = RecordGrid(*box)->model();
        QCOMPARE(model->columnCount(), columns.size());
        for (int n = 0; n < columns.size(); ++n) {
            QCOMPARE(searchColumns->itemText(n), columns.at(n).title);
            QCOMPARE(model->headerData(n, Qt::Horizontal).toString(), columns.at(n).title);
        }
        QVERIFY(m_fixture->messages().shown().isEmpty());
    }

    // Records inserted elsewhere and typed into the grid, through a page
    // step, a search and an edit of their integer.
    void recordGrid_data() { addVariants(); }
    void recordGrid()
    {
        QFETCH(bool, mixed);
        m_fixture->createDatabase(FullTitleColumns(mixed), false, false);
        m_fixture->execute({QStringLiteral("update fid_set set parameter='2' where "
                                           "options='pagesize';"),
                            InsertRecord(1, mixed), InsertRecord(2, mixed),
                            InsertRecord(3, mixed)});
        auto box = openWindow(true);
        QCOMPARE(shownRows(*box),
                 QList<QStringList>({expectedRow(1, mixed, 1), expectedRow(2, mixed, 2)}));

        MainWindowFixture::control<QAction>(*box, QStringLiteral("A1"))->trigger();
        const QStringList typed = expectedRow(4, mixed, 4);
        for (int column = 0; column < typed.size(); ++column)
            QVERIFY(setCell(*box, 2, column, typed.at(column)));
        box->browser().recordGrid().setCurrentRow(0);
        QCOMPARE(storedRow(4), typed);

        // Only the integer changes; the texts go back as they were read.
        QVERIFY(setCell(*box, 0, 3, QStringLiteral("77")));
        box->browser().recordGrid().setCurrentRow(1);
        QCOMPARE(storedRow(1), expectedRow(1, mixed, 77));
        QCOMPARE(storedRow(2), expectedRow(2, mixed, 2));

        Button(*box, "SpeedButton3")->click();
        QCOMPARE(shownRows(*box),
                 QList<QStringList>({expectedRow(1, mixed, 77), expectedRow(2, mixed, 2)}));
        Button(*box, "PageDown")->click();
        QCOMPARE(shownRows(*box), QList<QStringList>({expectedRow(3, mixed, 3), typed}));

        for (int column = 0; column < TextLengths.size(); ++column) {
            SetSearch(*box, column, QStringLiteral("="), typed.at(column));
            Button(*box, "SpeedButton6")->click();
            QCOMPARE(shownRows(*box), QList<QStringList>({typed}));
        }
        QVERIFY(m_fixture->messages().shown().isEmpty());
    }

    // The file holds the titles and values in GBK, whole.
    void csvExport_data() { addVariants(); }
    void csvExport()
    {
        QFETCH(bool, mixed);
        auto box = browse(mixed, 2);
        const QString path = m_fixture->folder().file(QStringLiteral("导出.csv"));
        FileDialogs::setChooser([path](const FileDialogs::Request&) { return path; });
        MainWindowFixture::control<QAction>(*box, QStringLiteral("CSV1"))->trigger();

        QString expected;
        for (const DesignColumn& column : FullTitleColumns(mixed))
            expected += column.title + u',';
        expected += QStringLiteral("\r\n");
        for (int id = 1; id <= 2; ++id)
            expected += expectedRow(id, mixed, id).join(u',') + QStringLiteral(",\r\n");
        QCOMPARE(FileBytes(path), Gbk::encode(expected));
        QCOMPARE(m_fixture->messages().texts(),
                 QStringList({QStringLiteral("CSV电子表格文件成功导出!")}));
    }

    // A document and a picture imported from paths of 240 bytes, the most
    // docname and picname hold: stored whole, and the strip names them.
    void attachmentNames_data() { addVariants(); }
    void attachmentNames()
    {
        QFETCH(bool, mixed);
        auto box = browse(mixed, 1, true);
        const QString base = m_fixture->folder().file(QStringLiteral("in/"));
        const QString document = FullPath(base, 240, QStringLiteral(".doc"), mixed);
        const QString picture = FullPath(base, 240, QStringLiteral(".bmp"), !mixed);
        QVERIFY(QDir().mkpath(QFileInfo(document).path()));
        QVERIFY(QDir().mkpath(QFileInfo(picture).path()));
        QFile file(document);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("document");
        file.close();
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(picture, "BMP"));
        QCOMPARE(Gbk::byteLength(document), 240);
        QCOMPARE(Gbk::byteLength(picture), 240);

        QStringList answers = {document, picture};
        QList<FileDialogs::Request> requests;
        FileDialogs::setChooser([&answers, &requests](const FileDialogs::Request& request) {
            requests.append(request);
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
        Button(*box, "SpeedButton1")->click();
        MainWindowFixture::control<QAction>(*box, QStringLiteral("N2"))->trigger();
        QCOMPARE(m_fixture->errorTexts(), QStringList());
        QCOMPARE(m_fixture->rows(QStringLiteral("select docname,picname from fid_main")),
                 QList<QStringList>({{document, picture}}));

        Button(*box, "SpeedButton3")->click();
        const QString documentName = QFileInfo(document).fileName();
        QCOMPARE(MainWindowFixture::control<QLabel>(*box, QStringLiteral("PnlFileName"))->text(),
                 documentName);
        QCOMPARE(box->strip().CurrentDocumentName(), documentName);
        QCOMPARE(box->strip().CurrentPictureName(), QFileInfo(picture).fileName());
        // The export dialogs start with the names read back.
        Button(*box, "SpeedButton2")->click();
        MainWindowFixture::control<QAction>(*box, QStringLiteral("E1"))->trigger();
        QCOMPARE(requests.size(), 4);
        QCOMPARE(requests.at(2).presetName, documentName);
        QCOMPARE(requests.at(3).presetName, QFileInfo(picture).fileName());
        QCOMPARE(m_fixture->errorTexts(), QStringList());
    }

    // Accounts of 16 bytes and names of 32, the most fid_user holds: one
    // inserted elsewhere, one added through the dialog, both listed whole;
    // a modification that keeps the name writes it back unchanged; the
    // status bar names the operator signed in with such an account.
    void operators()
    {
        m_fixture->createDatabase(FullTitleColumns(false), false, false);
        const QStringList inserted = {FillingText(16, false), FillingText(32, false, 1)};
        const QStringList added = {FillingText(16, true, 2), FillingText(32, true, 3)};
        m_fixture->addOperator(inserted.at(0), inserted.at(1), 1);
        auto box = openWindow(false);
        MainWindowFixture::control<QAction>(*box, QStringLiteral("U1"))->trigger();
        {
            const ModalDriver<TAddMdiUserBox> dialog([&added](TAddMdiUserBox* user) {
                user->Edit1->setText(added.at(0));
                user->Edit2->setText(added.at(1));
                user->Edit3->setText(QStringLiteral("123456"));
                user->Edit4->setText(QStringLiteral("123456"));
                user->Button1->click();
            });
            Button(*box, "SpeedButton4")->click();
            QCOMPARE(dialog.handled(), 1);
        }
        const QString stored = QStringLiteral(
            "select user_name,user_alias from fid_user where user_name<>'root' order by id");
        QCOMPARE(m_fixture->rows(stored), QList<QStringList>({inserted, added}));

        auto* grid = MainWindowFixture::control<QTableView>(*box, QStringLiteral("DBGrid2"));
        const auto listed = [grid](int row) {
            return QStringList({grid->model()->index(row, 1).data().toString(),
                                grid->model()->index(row, 2).data().toString()});
        };
        QCOMPARE(grid->model()->rowCount(), 2);
        QCOMPARE(listed(0), inserted);
        QCOMPARE(listed(1), added);

        for (int row = 0; row < 2; ++row) {
            grid->setCurrentIndex(grid->model()->index(row, 1));
            QStringList shown;
            const ModalDriver<TAddMdiUserBox> dialog([&shown](TAddMdiUserBox* user) {
                shown = QStringList({user->Edit1->text(), user->Edit2->text()});
                user->Button1->click();
            });
            Button(*box, "SpeedButton5")->click();
            QCOMPARE(shown, listed(row));
        }
        QCOMPARE(m_fixture->rows(stored), QList<QStringList>({inserted, added}));
        QCOMPARE(m_fixture->errorTexts(), QStringList());

        box.reset();
        m_fixture->signIn(inserted.at(0));
        box = openWindow(false);
        QCOMPARE(box->StatusPanel(1)->text(), QStringLiteral("当前用户:") + inserted.at(1) +
                                                  QStringLiteral(",具有读取修改权限!"));
    }

    // A title of 128 bytes, the most fid_set.parameter holds, from the table
    // and typed into root's settings dialog.
    void applicationTitle()
    {
        const QString kept = FillingText(128, false);
        const QString typed = FillingText(128, true, 1);
        m_fixture->createDatabase(FullTitleColumns(false), false, false);
        m_fixture->execute({QStringLiteral("update fid_set set parameter='%1' where "
                                           "options='title';")
                                .arg(QuoteDoubled(kept))});
        const auto confirm = [](TMainBox& box, const QString& title) {
            QString shown;
            const ModalDriver<TSetBox> dialog([&shown, title](TSetBox* settings) {
                shown = settings->Edit1->text();
                settings->Edit1->setText(title);
                settings->Button1->click();
            });
            Button(box, "SpeedButton9")->click();
            return shown;
        };

        auto box = openWindow(false);
        QCOMPARE(box->windowTitle(), kept);
        QCOMPARE(confirm(*box, typed), kept);
        QCOMPARE(m_fixture->rows(QStringLiteral("select parameter from fid_set where "
                                                "options='title'")),
                 QList<QStringList>({{typed}}));

        box.reset();
        box = openWindow(false);
        QCOMPARE(box->windowTitle(), typed);
        QCOMPARE(confirm(*box, typed), typed);
        QCOMPARE(m_fixture->rows(QStringLiteral("select parameter from fid_set where "
                                                "options='title'")),
                 QList<QStringList>({{typed}}));
        QCOMPARE(m_fixture->errorTexts(), QStringList());
    }
};

VARDENIX_TEST_MAIN(FullLengthTextTest)
#include "FullLengthTextTest.moc"
