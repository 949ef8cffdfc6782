#include "platform/confine/ConfinedProcess.h"

#include <QtTest>
#include <csignal>
#include <memory>

Q_DECLARE_METATYPE(ConfinedProcess::Outcome)

using Outcome = ConfinedProcess::Outcome;

// A child under limits: whatever it does ends in one of the outcomes, and
// the parent goes on.
class ConfinedProcessTest final : public QObject
{
    Q_OBJECT

    static ConfinedProcess::Limits limits(int cpuSeconds, int wallMilliseconds)
    {
        ConfinedProcess::Limits limits;
        limits.addressSpaceBytes = 64ull * 1024 * 1024;
        limits.cpuSeconds = cpuSeconds;
        limits.wallMilliseconds = wallMilliseconds;
        return limits;
    }

private slots:
    void outcomes_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("cpuSeconds");
        QTest::addColumn<int>("wallMilliseconds");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("answers from its input")
            << "cat" << 5 << 10000 << Outcome::Answered << QByteArray("input");
        QTest::newRow("refuses with an exit code")
            << "echo no; exit 3" << 5 << 10000 << Outcome::Refused << QByteArray("no\n");
        QTest::newRow("crashes") << "kill -SEGV $$" << 5 << 10000 << Outcome::Crashed
                                 << QByteArray();
        QTest::newRow("runs past the CPU limit")
            << "while :; do :; done" << 1 << 20000 << Outcome::Crashed << QByteArray();
#ifndef VARDENIX_SANITIZED // a sanitized build sets no address-space limit
        QTest::newRow("allocates past the address-space limit")
            << "dd if=/dev/zero of=/dev/null bs=256M count=1 2>/dev/null || exit 4" << 5 << 10000
            << Outcome::Refused << QByteArray();
#endif
        QTest::newRow("outlives the wall clock")
            << "sleep 30" << 5 << 300 << Outcome::TimedOut << QByteArray();
    }
    void outcomes()
    {
        QFETCH(QString, script);
        QFETCH(int, cpuSeconds);
        QFETCH(int, wallMilliseconds);
        QFETCH(Outcome, outcome);
        QFETCH(QByteArray, output);
        ConfinedProcess child(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script},
                              limits(cpuSeconds, wallMilliseconds));
        const ConfinedProcess::Result result = child.run("input");
        QCOMPARE(result.outcome, outcome);
        QCOMPARE(result.output, output);
    }

    // The slow signal comes while the child runs; cancelling ends it at once.
    void slowChildCanBeCancelled()
    {
        ConfinedProcess::Limits slowSoon = limits(5, 20000);
        slowSoon.slowAfterMilliseconds = 100;
        ConfinedProcess child(QStringLiteral("/bin/sh"),
                              {QStringLiteral("-c"), QStringLiteral("sleep 30")}, slowSoon);
        int slow = 0;
        connect(&child, &ConfinedProcess::slow, &child, [&] {
            ++slow;
            child.cancel();
        });
        QCOMPARE(child.run(QByteArray()).outcome, Outcome::Cancelled);
        QCOMPARE(slow, 1);
    }

    // Started without waiting, the child tells its result through finished();
    // deleted while it runs, it is killed and tells nothing.
    void startedChildTellsItsResultOrIsKilled()
    {
        QTemporaryDir folder;
        const QString pidFile = folder.filePath(QStringLiteral("pid"));
        auto child = std::make_unique<ConfinedProcess>(
            QStringLiteral("/bin/sh"),
            QStringList{QStringLiteral("-c"),
                        QStringLiteral("cat; echo $$ > '%1'; exec sleep 30").arg(pidFile)},
            limits(5, 60000));
        QList<ConfinedProcess::Result> results;
        connect(child.get(), &ConfinedProcess::finished, this,
                [&](const ConfinedProcess::Result& result) { results.append(result); });
        child->start("input");
        QFile pid(pidFile);
        while (!pid.open(QIODevice::ReadOnly) || pid.size() == 0) {
            pid.close();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        const pid_t running = pid_t(pid.readAll().trimmed().toInt());
        QVERIFY(running > 0);
        QCOMPARE(::kill(running, 0), 0);
        child.reset();
        QCOMPARE(::kill(running, 0), -1);
        QCOMPARE(results.size(), 0);

        ConfinedProcess answering(QStringLiteral("/bin/sh"),
                                  {QStringLiteral("-c"), QStringLiteral("cat")}, limits(5, 10000));
        connect(&answering, &ConfinedProcess::finished, this,
                [&](const ConfinedProcess::Result& result) { results.append(result); });
        answering.start("input");
        while (results.isEmpty())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCOMPARE(results.constFirst().outcome, Outcome::Answered);
        QCOMPARE(results.constFirst().output, QByteArray("input"));
    }

    void missingProgramDoesNotStart()
    {
        ConfinedProcess child(QStringLiteral("/nonexistent/helper"), {}, limits(5, 10000));
        QCOMPARE(child.run(QByteArray()).outcome, Outcome::NotStarted);
    }
};

QTEST_GUILESS_MAIN(ConfinedProcessTest)
#include "ConfinedProcessTest.moc"
