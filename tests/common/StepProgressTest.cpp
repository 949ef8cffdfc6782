#include "common/StepProgress.h"

#include "platform/db/DbError.h"
#include "support/ModalDriver.h"

#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <atomic>

namespace {

// How long a work waits for the test before it gives up: far longer than any
// step of the test takes, so only a test that went wrong reaches it.
constexpr int GiveUpMs = 20000;

// A window that lets a waiting work go on once it was painted.
class PaintedWindow final : public QWidget
{
public:
    QSemaphore painted;
    std::atomic<bool> watching = false;

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (watching.exchange(false))
            painted.release();
    }
};

} // namespace

class StepProgressTest final : public QObject
{
    Q_OBJECT

private slots:
    void windowsPaintWhileTheWorkWaits_data()
    {
        QTest::addColumn<qint64>("done"); // bytes of a megabyte
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("cancellable");
        QTest::newRow("half way") << 512 * 1024LL << "正在导入文件……\n512.0 kB / 1.0 MB" << true;
        QTest::newRow("every byte through")
            << 1024 * 1024LL << "正在导入文件……\n1.0 MB / 1.0 MB\n正在完成,请稍候……" << false;
    }
    // A work that waits inside a single call (no report for a long while)
    // still lets the windows paint, and its dialog tells how far it got;
    // once every byte is through, "取消" is no longer offered.
    void windowsPaintWhileTheWorkWaits()
    {
        QFETCH(qint64, done);
        QFETCH(QString, shown);
        QFETCH(bool, cancellable);
        PaintedWindow window;
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QString label;
        bool cancelOffered = false;
        ModalDriver<QProgressDialog> driver([&](QProgressDialog* dialog) {
            label = dialog->findChild<QLabel*>()->text();
            cancelOffered = dialog->findChild<QPushButton*>()->isEnabled();
            window.watching = true;
            window.update();
        });
        StepProgress progress(&window, QStringLiteral("正在导入文件"), StepProgress::Unit::Bytes);
        progress.runBeside([&](const db::Progress& reported) {
            db::reportProgress(reported, done, 1024 * 1024);
            if (!window.painted.tryAcquire(1, GiveUpMs))
                throw db::DbError(QStringLiteral("the window was not painted"));
        });
        progress.finish();
        QCOMPARE(driver.handled(), 1);
        QCOMPARE(label, shown);
        QCOMPARE(cancelOffered, cancellable);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void cancelStopsTheWork_data()
    {
        QTest::addColumn<bool>("waiting"); // inside a single call, or between reports
        QTest::newRow("between reports") << false;
        QTest::newRow("inside a single call") << true;
    }
    // "取消" stops the work at its next report, or interrupts the call it
    // waits in, whose failure then reaches the caller as Cancelled.
    void cancelStopsTheWork()
    {
        QFETCH(bool, waiting);
        QWidget window;
        window.show();
        ModalDriver<QProgressDialog> driver(
            [&](QProgressDialog* dialog) { dialog->findChild<QPushButton*>()->click(); });
        QSemaphore interrupted;
        const auto work = [&](const db::Progress& go) {
            for (qint64 reports = 0;; ++reports) {
                if (waiting && reports == 1) {
                    // As a database call does when it is interrupted; one
                    // that is not ends well, which the test refuses.
                    if (interrupted.tryAcquire(1, GiveUpMs))
                        throw db::DbError(QStringLiteral("Operation cancelled"));
                    return;
                }
                db::reportProgress(go, reports, -1);
                QThread::msleep(5);
            }
        };
        StepProgress progress(&window, QStringLiteral("正在导出"), StepProgress::Unit::Bytes);
        QVERIFY_THROWS_EXCEPTION(db::Cancelled, progress.runBeside(work, [&] {
            interrupted.release();
            return true;
        }));
        QCOMPARE(driver.handled(), 1);
    }

    void cancelLeavesACommitAlone_data()
    {
        QTest::addColumn<QString>("error"); // none: the commit was kept
        QTest::newRow("kept") << QString();
        QTest::newRow("refused") << QStringLiteral("the commit failed");
    }
    // "取消" that comes while the work's commit is on its way is not heeded
    // (the interrupt says it left the work alone): the work ends as it will
    // and its true outcome comes back, never a cancel.
    void cancelLeavesACommitAlone()
    {
        QFETCH(QString, error);
        QWidget window;
        window.show();
        ModalDriver<QProgressDialog> driver(
            [&](QProgressDialog* dialog) { dialog->findChild<QPushButton*>()->click(); });
        QSemaphore asked;
        const auto commit = [&](const db::Progress&) {
            if (!asked.tryAcquire(1, GiveUpMs))
                throw db::DbError(QStringLiteral("no cancel came"));
            if (!error.isEmpty())
                throw db::DbError(error);
        };
        StepProgress progress(&window, QStringLiteral("正在导入文件"), StepProgress::Unit::Bytes);
        QString thrown;
        try {
            progress.runBeside(commit, [&] {
                asked.release();
                return false;
            });
        } catch (const db::DbError& e) {
            thrown = e.message();
        }
        QCOMPARE(thrown, error);
        QCOMPARE(driver.handled(), 1);
    }

    void whatTheWorkEndsWith_data()
    {
        QTest::addColumn<QString>("error"); // none: the work ends well
        QTest::newRow("no error") << QString();
        QTest::newRow("an error of the database") << QStringLiteral("the disk is full");
    }
    // The work runs on a thread of its own, and its error is thrown to the caller.
    void whatTheWorkEndsWith()
    {
        QFETCH(QString, error);
        StepProgress progress(nullptr, QStringLiteral("正在导出"), StepProgress::Unit::Bytes);
        QThread* ranOn = nullptr;
        QString thrown;
        try {
            progress.runBeside([&](const db::Progress&) {
                ranOn = QThread::currentThread();
                if (!error.isEmpty())
                    throw db::DbError(error);
            });
        } catch (const db::DbError& e) {
            thrown = e.message();
        }
        QCOMPARE(thrown, error);
        QVERIFY(ranOn && ranOn != QThread::currentThread());
    }
};

QTEST_MAIN(StepProgressTest)
#include "StepProgressTest.moc"
