#include "common/StepProgress.h"

#include "platform/db/DbError.h"
#include "support/ModalDriver.h"

#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <atomic>
#include <optional>

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

Q_DECLARE_METATYPE(std::optional<db::InFlight>)
Q_DECLARE_METATYPE(StepProgress::Unit)

class StepProgressTest final : public QObject
{
    Q_OBJECT

private slots:
    void windowsPaintWhileTheWorkWaits_data()
    {
        using Unit = StepProgress::Unit;
        constexpr qint64 MB = 1024 * 1024;
        QTest::addColumn<QString>("what");
        QTest::addColumn<Unit>("unit");
        QTest::addColumn<qint64>("done"); // as the work reported, of a megabyte
        // What the network carried meanwhile; none: the work waits in no such call.
        QTest::addColumn<std::optional<db::InFlight>>("inFlight");
        QTest::addColumn<QString>("shown"); // "#" for the seconds waited
        QTest::addColumn<bool>("measured"); // the bar tells how far
        QTest::addColumn<bool>("cancellable");
        const QString import = QStringLiteral("正在导入文件");
        const std::optional<db::InFlight> none;
        QTest::newRow("half way") << import << Unit::Bytes << MB / 2 << none
                                  << "正在导入文件……\n512.0 kB / 1.0 MB" << true << true;
        QTest::newRow("every byte through")
            << import << Unit::Bytes << MB << none
            << "正在导入文件……\n1.0 MB / 1.0 MB\n正在完成,请稍候……" << true << false;
        QTest::newRow("handed on, a quarter through the network")
            << import << Unit::Bytes << MB << std::optional(db::InFlight{MB / 4, MB})
            << "正在导入文件……\n256.0 kB / 1.0 MB" << true << true;
        QTest::newRow("handed on, the network not counted")
            << import << Unit::Bytes << MB << std::optional(db::InFlight{-1, MB})
            << "正在导入文件……\n已等待 # 秒" << false << true;
        QTest::newRow("arriving, size not known")
            << QStringLiteral("正在导出") << Unit::Bytes << 0LL
            << std::optional(db::InFlight{3 * MB, -1}) << "正在导出……\n3.0 MB" << false << true;
        QTest::newRow("a page waits for the server's first row")
            << QStringLiteral("正在读取记录") << Unit::Rows << 0LL
            << std::optional(db::InFlight{-1, -1}) << "正在读取记录……\n已等待 # 秒" << false
            << true;
        QTest::newRow("a count waits")
            << QStringLiteral("正在统计记录") << Unit::Milliseconds << 0LL << none
            << "正在统计记录……\n已等待 # 秒" << false << true;
    }
    // A work that waits inside a single call (no report for a long while)
    // still lets the windows paint, and its dialog tells what is true: how
    // far the work got, or what crossed the network when that is known, or
    // else the time waited. "取消" is offered until every byte is through.
    void windowsPaintWhileTheWorkWaits()
    {
        QFETCH(QString, what);
        QFETCH(StepProgress::Unit, unit);
        QFETCH(qint64, done);
        QFETCH(std::optional<db::InFlight>, inFlight);
        QFETCH(QString, shown);
        QFETCH(bool, measured);
        QFETCH(bool, cancellable);
        PaintedWindow window;
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QString label;
        bool cancelOffered = false;
        int barMaximum = -1;
        ModalDriver<QProgressDialog> driver([&](QProgressDialog* dialog) {
            label = dialog->findChild<QLabel*>()->text();
            cancelOffered = dialog->findChild<QPushButton*>()->isEnabled();
            barMaximum = dialog->maximum();
            window.watching = true;
            window.update();
        });
        StepProgress progress(&window, what, unit);
        progress.runBeside(
            [&](const db::Progress& reported) {
                db::reportProgress(reported, done, 1024 * 1024);
                if (!window.painted.tryAcquire(1, GiveUpMs))
                    throw db::DbError(QStringLiteral("the window was not painted"));
            },
            {}, [&] { return inFlight; });
        progress.finish();
        QCOMPARE(driver.handled(), 1);
        const QRegularExpression expected(
            QRegularExpression::anchoredPattern(QRegularExpression::escape(shown).replace(
                QStringLiteral("\\#"), QStringLiteral("\\d+"))));
        QVERIFY2(expected.match(label).hasMatch(), qPrintable(label));
        QCOMPARE(barMaximum, measured ? 1000 : 0);
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
