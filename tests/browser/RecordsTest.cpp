#include "BrowserTestSupport.h"
#include "browser/RecordBrowser.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <sqlite3.h>
#include <thread>

// Adding, editing and deleting records in the record grid; every change is
// checked in fid_main through a connection of the test's own.
class RecordsTest final : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_fixture;

    // Three records; the window shows them in its Data view.
    std::unique_ptr<TMainBox> browse(const QString& operatorName = QStringLiteral("root"))
    {
        m_fixture->createDatabase(ThreeColumns(), false, false);
        m_fixture->addOperator(QStringLiteral("reader"), QStringLiteral("读者"), 0);
        m_fixture->signIn(operatorName);
        InsertRecords(*m_fixture, Records(3), 3);
        auto box = std::make_unique<TMainBox>();
        box->show();
        box->activateWindow();
        if (!QTest::qWaitForWindowActive(box.get()))
            qWarning("the main window did not become active");
        Button(*box, "SpeedButton3")->click();
        return box;
    }

    QList<QStringList> stored()
    {
        return m_fixture->rows(QStringLiteral("select id,f_1,f_2,f_3 from fid_main order by id"));
    }

    static QList<QStringList> storedRecords(int count)
    {
        QList<QStringList> rows;
        for (const Record& record : Records(count))
            rows.append({QString::number(record.id), record.f1, QString::number(record.f2),
                         QString::number(record.f3)});
        return rows;
    }

    static bool setCell(TMainBox& box, int row, int column, const QString& text)
    {
        QAbstractItemModel* model = RecordGrid(box)->model();
        return model->setData(model->index(row, column), text);
    }

    static QString rowMark(TMainBox& box, int row)
    {
        return RecordGrid(box)->model()->headerData(row, Qt::Vertical).toString();
    }

    // The first key opens the cell's editor, which takes the rest.
    static void typeInto(QTableView* grid, const QString& text)
    {
        QTest::keyClicks(grid, text.left(1));
        QTest::keyClicks(QApplication::focusWidget(), text.mid(1));
    }

    static QAction* action(TMainBox& box, const char* name)
    {
        return MainWindowFixture::control<QAction>(box, QString::fromLatin1(name));
    }

private slots:
    void init() { m_fixture = std::make_unique<MainWindowFixture>(); }
    void cleanup() { m_fixture.reset(); }

    void addRecord()
    {
        auto box = browse();
        const QString status = box->StatusPanel(0)->text();
        SentStatements sent;
        action(*box, "A1")->trigger();
        QCOMPARE(RecordGrid(*box)->model()->rowCount(), 4);
        QCOMPARE(RecordGrid(*box)->currentIndex().row(), 3);
        QCOMPARE(box->browser().recordQuery().currentRow(), 3);
        QCOMPARE(rowMark(*box, 3), QStringLiteral("*"));

        QVERIFY(setCell(*box, 3, 0, QStringLiteral("新记录")));
        QVERIFY(setCell(*box, 3, 1, QStringLiteral("12")));
        QVERIFY(setCell(*box, 3, 2, QStringLiteral("2.5")));
        QVERIFY(sent.writes().isEmpty());
        box->browser().recordGrid().setCurrentRow(0);

        QCOMPARE(sent.writes().size(), 1);
        QList<QStringList> expected = storedRecords(3);
        expected.append({"4", "新记录", "12", "2.5"});
        QCOMPARE(stored(), expected);
        QCOMPARE(box->browser().recordQuery().rowValue(3, 0).toInt(), 4);
        QCOMPARE(rowMark(*box, 3), QString());
        QCOMPARE(box->StatusPanel(0)->text(), status);
        QVERIFY(m_fixture->messages().shown().isEmpty());
    }

    // Typed into the grid as an operator does: the row is written when the
    // cursor leaves it.
    void addRecordByKeyboard()
    {
        auto box = browse();
        QTableView* grid = RecordGrid(*box);
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Insert);
        QCOMPARE(grid->currentIndex().row(), 3);
        typeInto(grid, QStringLiteral("typed"));
        // Tab goes on to edit the next cell.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("42"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(stored().size(), 3);
        QTest::keyClick(grid, Qt::Key_Up);
        QCOMPARE(grid->currentIndex().row(), 2);
        QList<QStringList> expected = storedRecords(3);
        expected.append({"4", "typed", "42", ""});
        QCOMPARE(stored(), expected);
        QVERIFY(m_fixture->messages().shown().isEmpty());
    }

    // A new row left without a value is not written.
    void blankRowIsDropped()
    {
        auto box = browse();
        SentStatements sent;
        action(*box, "A1")->trigger();
        box->browser().recordGrid().setCurrentRow(1);
        QVERIFY(sent.writes().isEmpty());
        QCOMPARE(RecordGrid(*box)->model()->rowCount(), 3);
        QCOMPARE(RecordGrid(*box)->currentIndex().row(), 1);
        QCOMPARE(box->browser().recordQuery().currentRow(), 1);
        QCOMPARE(stored(), storedRecords(3));
    }

    void editRecord()
    {
        auto box = browse();
        box->browser().recordGrid().setCurrentRow(1);
        QVERIFY(setCell(*box, 1, 1, QStringLiteral("77")));
        QVERIFY(setCell(*box, 1, 0, QString()));
        QCOMPARE(rowMark(*box, 1), QStringLiteral("*"));
        box->browser().recordGrid().setCurrentRow(2);
        QList<QStringList> expected = storedRecords(3);
        expected[1][1] = QString();
        expected[1][2] = QStringLiteral("77");
        QCOMPARE(stored(), expected);
        QCOMPARE(m_fixture->rows(QStringLiteral("select count(*) from fid_main where f_1 is null")),
                 QList<QStringList>({{QStringLiteral("1")}}));
        QVERIFY(m_fixture->messages().shown().isEmpty());
    }

    // What was typed is written before the page is loaded again.
    void pendingEditBeforeReload_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("browse") << "browse";
        QTest::newRow("page step") << "step";
        QTest::newRow("search") << "search";
        QTest::newRow("sort") << "sort";
        QTest::newRow("close") << "close";
    }
    void pendingEditBeforeReload()
    {
        QFETCH(QString, action);
        auto box = browse();
        if (action == QLatin1String("search"))
            SetSearch(*box, 0, QStringLiteral("包含"), QStringLiteral("n"));
        QVERIFY(setCell(*box, 0, 0, QStringLiteral("changed")));
        SentStatements sent;
        if (action == QLatin1String("browse"))
            Button(*box, "SpeedButton3")->click();
        else if (action == QLatin1String("step"))
            Button(*box, "PageDown")->click();
        else if (action == QLatin1String("search"))
            Button(*box, "SpeedButton6")->click();
        else if (action == QLatin1String("sort"))
            box->browser().sortByColumn(2);
        else
            QVERIFY(box->close());
        QVERIFY(m_fixture->messages().shown().isEmpty());
        QVERIFY(!sent.all().isEmpty());
        QVERIFY(sent.all().constFirst().startsWith(QLatin1String("UPDATE")));
        QCOMPARE(stored().constFirst().at(1), QStringLiteral("changed"));
    }

    // A row that cannot be written stays current with what was typed; the
    // page is not reloaded over it until it is written or given up with Esc.
    void failedPostKeepsTheRow()
    {
        auto box = browse();
        QTableView* grid = RecordGrid(*box);
        box->browser().recordGrid().setCurrentRow(1);
        QVERIFY(setCell(*box, 1, 1, QStringLiteral("not a number")));
        box->browser().recordGrid().setCurrentRow(2);
        QCOMPARE(m_fixture->errorTexts().size(), 1);
        QCOMPARE(grid->currentIndex().row(), 1);
        QCOMPARE(box->browser().recordQuery().currentRow(), 1);
        QCOMPARE(rowMark(*box, 1), QStringLiteral("*"));
        QCOMPARE(grid->model()->index(1, 1).data().toString(), QStringLiteral("not a number"));

        SentStatements sent;
        Button(*box, "SpeedButton3")->click();
        QCOMPARE(m_fixture->errorTexts().size(), 2);
        QVERIFY(sent.browsing().isEmpty());
        QCOMPARE(grid->model()->index(1, 1).data().toString(), QStringLiteral("not a number"));

        // The window stays open over it.
        QVERIFY(!box->close());
        QVERIFY(box->isVisible());
        QCOMPARE(m_fixture->errorTexts().size(), 3);

        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Escape);
        QCOMPARE(grid->model()->index(1, 1).data().toString(),
                 QString::number(Records(3).at(1).f2));
        QCOMPARE(rowMark(*box, 1), QString());
        Button(*box, "SpeedButton3")->click();
        // The page is read again; nothing was written, so a count kept may stand.
        QVERIFY(!sent.browsing().isEmpty());
        QVERIFY(sent.browsing().constFirst().startsWith(QLatin1String("SELECT TOP ")));
        QCOMPARE(box->browser().recordCount(), 3);
        QCOMPARE(stored(), storedRecords(3));
        QCOMPARE(m_fixture->errorTexts().size(), 3);
    }

    // Esc gives up a new row with what was typed into it.
    void escapeDropsANewRow()
    {
        auto box = browse();
        QTableView* grid = RecordGrid(*box);
        action(*box, "A1")->trigger();
        QVERIFY(setCell(*box, 3, 0, QStringLiteral("given up")));
        QTest::keyClick(grid, Qt::Key_Escape);
        QCOMPARE(grid->model()->rowCount(), 3);
        QCOMPARE(grid->currentIndex().row(), 2);
        QCOMPARE(box->browser().recordQuery().currentRow(), 2);
        QVERIFY(box->close());
        QCOMPARE(stored(), storedRecords(3));
        QVERIFY(m_fixture->messages().shown().isEmpty());
    }

    void failedInsertStaysInInsertState()
    {
        auto box = browse();
        action(*box, "A1")->trigger();
        QVERIFY(setCell(*box, 3, 0, QStringLiteral("a text longer than twenty characters")));
        box->browser().recordGrid().setCurrentRow(0);
        QCOMPARE(m_fixture->errorTexts().size(), 1);
        QCOMPARE(RecordGrid(*box)->currentIndex().row(), 3);
        QCOMPARE(rowMark(*box, 3), QStringLiteral("*"));
        QVERIFY(setCell(*box, 3, 0, QStringLiteral("short")));
        box->browser().recordGrid().setCurrentRow(0);
        QCOMPARE(m_fixture->errorTexts().size(), 1);
        QCOMPARE(stored().size(), 4);
        QCOMPARE(stored().constLast().at(1), QStringLiteral("short"));
    }

    // The embedded database's file deleted or moved under the open window:
    // row writes, page loads and fresh connections are refused with the
    // reason, and no new file is made in its place; moved back, the window
    // goes on.
    void databaseFileGoneUnderTheWindow()
    {
        if (!TestDatabase::embedded())
            QSKIP("a file of the embedded engine");
        auto box = browse();
        const QString file = m_fixture->folder().file(m_fixture->database().name() + ".db");
        const QString moved = m_fixture->folder().file(QStringLiteral("moved.db"));
        QVERIFY(QFile::rename(file, moved));

        QVERIFY(setCell(*box, 0, 0, QStringLiteral("lost")));
        box->browser().recordGrid().setCurrentRow(1);
        QTest::keyClick(RecordGrid(*box), Qt::Key_Escape);
        Button(*box, "SpeedButton3")->click();
        {
            TMainBox another;
        }
        const QStringList errors = m_fixture->errorTexts();
        QCOMPARE(errors.size(), 3);
        for (const QString& error : errors) {
            QVERIFY2(error.startsWith(QStringLiteral("数据库文件不存在: ") + file + u'\n'),
                     qPrintable(error));
            QVERIFY2(
                error.endsWith(QStringLiteral("The database file %1 does not exist.").arg(file)),
                qPrintable(error));
        }
        QVERIFY(!QFile::exists(file));
        QVERIFY(!QFile::exists(file + "-journal"));

        QVERIFY(QFile::rename(moved, file));
        Button(*box, "SpeedButton3")->click();
        QCOMPARE(RecordGrid(*box)->model()->rowCount(), 3);
        QCOMPARE(m_fixture->errorTexts().size(), 3);
        QCOMPARE(stored(), storedRecords(3));
    }

    void changesElsewhere_data()
    {
        QTest::addColumn<QString>("elsewhere"); // another client's write after the page was read
        QTest::addColumn<int>("column");        // the grid column typed into; -1 deletes the row
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("stored"); // f_1|f_2|f_3 of record 1 afterwards

        const Record first = Records(3).constFirst();
        const QString f2 = QString::number(first.f2);
        const QString f3 = QString::number(first.f3);
        QTest::newRow("other column changed elsewhere")
            << "update fid_main set f_3=9.5 where id=1;" << 0 << true
            << QStringList{"mine", f2, "9.5"}.join('|');
        QTest::newRow("same column changed elsewhere")
            << "update fid_main set f_1='theirs' where id=1;" << 0 << false
            << QStringList{"theirs", f2, f3}.join('|');
        QTest::newRow("case changed elsewhere")
            << "update fid_main set f_1=upper(f_1) where id=1;" << 0 << false
            << QStringList{first.f1.toUpper(), f2, f3}.join('|');
        QTest::newRow("removed elsewhere")
            << "delete from fid_main where id=1;" << 0 << false << QString();
        QTest::newRow("delete, changed elsewhere")
            << "update fid_main set f_2=99 where id=1;" << -1 << false
            << QStringList{first.f1, "99", f3}.join('|');
    }
    // Another operator saves after this page was read: a change of the same
    // record is refused and reported rather than overwritten, and what was
    // typed stays in the grid until Esc gives it up.
    void changesElsewhere()
    {
        QFETCH(QString, elsewhere);
        QFETCH(int, column);
        QFETCH(bool, written);
        QFETCH(QString, stored);
        auto box = browse();
        QTableView* grid = RecordGrid(*box);
        m_fixture->execute({elsewhere});

        if (column < 0) {
            m_fixture->messages().presetAnswer(MessageBox::IdYes);
            action(*box, "N5")->trigger();
        } else {
            QVERIFY(setCell(*box, 0, column, QStringLiteral("mine")));
            grid->setCurrentIndex(grid->model()->index(0, column));
            grid->setFocus();
            QTest::keyClick(grid, Qt::Key_Down);
            QCoreApplication::processEvents();
        }
        const QStringList errors = m_fixture->errorTexts();
        if (written) {
            QCOMPARE(errors, QStringList());
        } else {
            QCOMPARE(errors.size(), 1);
            QVERIFY2(errors.constFirst().startsWith(
                         QStringLiteral("这条记录在显示之后已被别人修改或删除，这一步没有完成")),
                     qPrintable(errors.constFirst()));
            QCOMPARE(grid->currentIndex().row(), 0);
            QCOMPARE(grid->model()->rowCount(), 3);
            if (column >= 0) {
                // The cell typed into is the one selected, not the one below.
                QCOMPARE(grid->selectionModel()->selectedIndexes(),
                         QModelIndexList{grid->model()->index(0, column)});
                QCOMPARE(rowMark(*box, 0), QStringLiteral("*"));
                QCOMPARE(grid->model()->index(0, column).data().toString(), QStringLiteral("mine"));
                QTest::keyClick(grid, Qt::Key_Escape);
            }
        }
        const QList<QStringList> rows =
            m_fixture->rows(QStringLiteral("select f_1,f_2,f_3 from fid_main where id=1"));
        QCOMPARE(rows.isEmpty() ? QString() : rows.constFirst().join('|'), stored);

        // 管理/查看 then shows the record as it is stored.
        Button(*box, "SpeedButton3")->click();
        QCOMPARE(m_fixture->errorTexts(), errors);
        if (!stored.isEmpty()) {
            QCOMPARE(PageIds(*box).constFirst(), 1);
            QCOMPARE(grid->model()->index(0, 0).data().toString(), stored.section('|', 0, 0));
        }
    }

    // Another program holds the embedded file's write lock while a row is
    // left: a short hold is waited out, a long one is reported and the typed
    // row stays to be written once the lock is gone.
    void lockedFile_data()
    {
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<bool>("waitedOut");
        QTest::newRow("2 s") << 2000 << true;
        QTest::newRow("12 s") << 12000 << false;
    }
    void lockedFile()
    {
        QFETCH(int, holdMs);
        QFETCH(bool, waitedOut);
        if (!TestDatabase::embedded())
            QSKIP("a file lock of the embedded engine");
        auto box = browse();
        const QByteArray file =
            m_fixture->folder().file(m_fixture->database().name() + ".db").toUtf8();
        std::atomic<bool> locked = false;
        std::atomic<bool> release = false;
        std::thread holder([&] {
            sqlite3* handle = nullptr;
            sqlite3_open(file.constData(), &handle);
            sqlite3_exec(handle, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            locked = true;
            for (int waited = 0; waited < holdMs && !release; waited += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(handle);
        });
        while (!locked)
            std::this_thread::yield();

        QVERIFY(setCell(*box, 0, 0, QStringLiteral("mine")));
        box->browser().recordGrid().setCurrentRow(1);
        release = true;
        holder.join();
        const QStringList errors = m_fixture->errorTexts();
        if (waitedOut) {
            QCOMPARE(errors, QStringList());
        } else {
            QCOMPARE(errors.size(), 1);
            QVERIFY2(errors.constFirst().startsWith(QStringLiteral("数据库正被其他程序占用")),
                     qPrintable(errors.constFirst()));
            QCOMPARE(rowMark(*box, 0), QStringLiteral("*"));
            QCOMPARE(RecordGrid(*box)->model()->index(0, 0).data().toString(),
                     QStringLiteral("mine"));
            box->browser().recordGrid().setCurrentRow(1);
            QCOMPARE(m_fixture->errorTexts(), errors);
        }
        QCOMPARE(stored().constFirst().at(1), QStringLiteral("mine"));
    }

    void deleteRecord_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("yes") << int(MessageBox::IdYes) << true;
        QTest::newRow("no") << int(MessageBox::IdNo) << false;
    }
    void deleteRecord()
    {
        QFETCH(int, answer);
        QFETCH(bool, deleted);
        auto box = browse();
        const QString status = box->StatusPanel(0)->text();
        box->browser().recordGrid().setCurrentRow(1);
        m_fixture->messages().presetAnswer(answer);
        SentStatements sent;
        action(*box, "N5")->trigger();

        QCOMPARE(m_fixture->messages().shown().size(), 1);
        const MessageBox::Shown& shown = m_fixture->messages().shown().constFirst();
        QCOMPARE(shown.title, QStringLiteral("提示"));
        QCOMPARE(shown.text, QStringLiteral("你真的要删除该笔记录吗?"));
        QCOMPARE(shown.flags, 4);
        QList<QStringList> expected = storedRecords(3);
        if (deleted) {
            expected.removeAt(1);
            QCOMPARE(sent.writes().size(), 1);
            QCOMPARE(PageIds(*box), QList<int>({1, 3}));
            QCOMPARE(RecordGrid(*box)->currentIndex().row(), 1);
            QCOMPARE(box->browser().recordQuery().text(0), QStringLiteral("3"));
        } else {
            QVERIFY(sent.all().isEmpty());
            QCOMPARE(PageIds(*box), QList<int>({1, 2, 3}));
            QCOMPARE(box->browser().recordQuery().currentRow(), 1);
        }
        QCOMPARE(stored(), expected);
        QCOMPARE(box->StatusPanel(0)->text(), status);
    }

    void deleteByShortcut()
    {
        auto box = browse();
        box->browser().recordGrid().setCurrentRow(2);
        QTest::keySequence(box.get(), QKeySequence(Qt::CTRL | Qt::Key_Delete));
        QCOMPARE(m_fixture->messages().texts(), QStringList({"你真的要删除该笔记录吗?"}));
        QCOMPARE(PageIds(*box), QList<int>({1, 2}));
        QCOMPARE(stored(), storedRecords(3).mid(0, 2));
    }

    // Adding one row and deleting two leaves the counts of the last browse.
    void countsLagBehind()
    {
        auto box = browse();
        const QString status = box->StatusPanel(0)->text();
        action(*box, "A1")->trigger();
        QVERIFY(setCell(*box, 3, 0, QStringLiteral("x")));
        box->browser().recordGrid().setCurrentRow(0);
        action(*box, "N5")->trigger();
        action(*box, "N5")->trigger();
        QCOMPARE(stored().size(), 2);
        QCOMPARE(box->StatusPanel(0)->text(), status);
        QCOMPARE(box->browser().recordCount(), 3);
    }

    // An operator without the write right changes nothing, shortcuts included.
    void readerChangesNothing()
    {
        auto box = browse(QStringLiteral("reader"));
        QVERIFY(!box->session().canWrite);
        QTableView* grid = RecordGrid(*box);
        SentStatements sent;
        QVERIFY(!(grid->model()->flags(grid->model()->index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(!setCell(*box, 0, 0, QStringLiteral("changed")));
        grid->setFocus();
        QTest::keyClicks(grid, QStringLiteral("changed"));
        QTest::keyClick(grid, Qt::Key_F2);
        QCOMPARE(grid->model()->index(0, 0).data().toString(), Records(3).at(0).f1);

        QTest::keySequence(box.get(), QKeySequence(Qt::Key_Insert));
        QCOMPARE(grid->model()->rowCount(), 4);
        QVERIFY(!setCell(*box, 3, 0, QStringLiteral("new")));
        box->browser().recordGrid().setCurrentRow(0);
        QCOMPARE(grid->model()->rowCount(), 3);

        QTest::keySequence(box.get(), QKeySequence(Qt::CTRL | Qt::Key_Delete));
        action(*box, "N5")->trigger();
        QVERIFY(m_fixture->messages().shown().isEmpty());
        QVERIFY(sent.writes().isEmpty());
        QCOMPARE(stored(), storedRecords(3));
        QVERIFY(box->close());
        QCOMPARE(stored(), storedRecords(3));
    }

    // With the browse query closed by a failed load, both commands do nothing.
    void closedQuery()
    {
        auto box = browse();
        m_fixture->database().renameTable(QStringLiteral("fid_main"), QStringLiteral("kept"));
        Button(*box, "SpeedButton3")->click();
        QVERIFY(!box->browser().recordQuery().isOpen());
        m_fixture->messages().clear();
        action(*box, "A1")->trigger();
        action(*box, "N5")->trigger();
        QVERIFY(m_fixture->messages().shown().isEmpty());
        QCOMPARE(RecordGrid(*box)->model()->rowCount(), 0);
    }

    // The query's current row is the grid's: the row key the attachment
    // strip reads. Every move, reload and change of the current row is told.
    void currentRowFollowsTheGrid()
    {
        auto box = browse();
        QSignalSpy changes(&box->browser().recordGrid(), &grid::DataGrid::dataChange);
        box->browser().recordGrid().setCurrentRow(2);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(box->browser().recordQuery().text(0), QStringLiteral("3"));
        QVERIFY(setCell(*box, 2, 0, QStringLiteral("x")));
        QCOMPARE(changes.size(), 2);
        QVERIFY(setCell(*box, 2, 0, QStringLiteral("x")));
        QCOMPARE(changes.size(), 2);
        Button(*box, "SpeedButton3")->click();
        QCOMPARE(changes.size(), 3);
        QCOMPARE(box->browser().recordQuery().currentRow(), 0);
        QCOMPARE(box->browser().recordQuery().text(0), QStringLiteral("1"));
        QTest::keyClick(RecordGrid(*box), Qt::Key_Down);
        QCOMPARE(changes.size(), 4);
        QCOMPARE(box->browser().recordQuery().text(0), QStringLiteral("2"));
    }
};

QTEST_MAIN(RecordsTest)
#include "RecordsTest.moc"
