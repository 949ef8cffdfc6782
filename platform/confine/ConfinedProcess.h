#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>

// Runs a short-lived child program that reads its input from stdin and
// answers on stdout, under limits of address space, CPU time and wall-clock
// time, so that whatever the child meets (a crash, a runaway allocation, an
// endless loop) ends the child only.
class ConfinedProcess final : public QObject
{
    Q_OBJECT

public:
    struct Limits
    {
        quint64 addressSpaceBytes = 512ull * 1024 * 1024;
        int cpuSeconds = 5;
        int wallMilliseconds = 15000;
        int slowAfterMilliseconds = 500; // when slow() is emitted
    };

    enum class Outcome
    {
        Answered,  // ended by itself with exit code 0
        Refused,   // ended by itself with another exit code
        Crashed,   // killed by a signal, a limit's included
        TimedOut,  // outlived the wall-clock limit and was killed
        Cancelled, // killed by cancel()
        NotStarted
    };

    struct Result
    {
        Outcome outcome = Outcome::NotStarted;
        int exitCode = -1;
        QByteArray output; // stdout
        QByteArray errors; // stderr
    };

    ConfinedProcess(QString program, QStringList arguments, Limits limits);
    // A child still running is killed, and finished() is not emitted.
    ~ConfinedProcess() override;

    void setEnvironment(const QProcessEnvironment& environment);

    // Starts the child, gives it the input and waits for it in a local event
    // loop; user input is held back until slow() has been emitted, when the
    // caller is expected to show something modal that can cancel.
    Result run(const QByteArray& input);
    // Starts the child and gives it the input without waiting: finished()
    // tells the result, at once when the child does not start.
    void start(const QByteArray& input);
    void cancel();

signals:
    void slow();
    void finished(const ConfinedProcess::Result& result);

private:
    void end();

    QString m_program;
    QStringList m_arguments;
    Limits m_limits;
    QProcess m_process;
    QTimer m_wall;
    bool m_cancelled = false;
    bool m_timedOut = false;
};
