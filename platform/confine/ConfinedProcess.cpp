#include "ConfinedProcess.h"

#include <QEventLoop>
#include <QTimer>
#include <sys/resource.h>

namespace {

void Limit(int resource, rlim_t value)
{
    const rlimit limit{value, value};
    setrlimit(resource, &limit);
}

} // namespace

ConfinedProcess::ConfinedProcess(QString program, QStringList arguments, Limits limits)
    : m_program(std::move(program)), m_arguments(std::move(arguments)), m_limits(limits)
{
    const Limits set = m_limits;
    // Runs in the child between fork and exec: only async-signal-safe calls.
    m_process.setChildProcessModifier([set] {
        Limit(RLIMIT_AS, set.addressSpaceBytes);
        Limit(RLIMIT_CPU, rlim_t(set.cpuSeconds));
        Limit(RLIMIT_CORE, 0);
    });
}

void ConfinedProcess::setEnvironment(const QProcessEnvironment& environment)
{
    m_process.setProcessEnvironment(environment);
}

ConfinedProcess::Result ConfinedProcess::run(const QByteArray& input)
{
    Result result;
    QEventLoop loop;
    QTimer wall;
    wall.setSingleShot(true);
    QTimer slowTimer;
    slowTimer.setSingleShot(true);
    QEventLoop::ProcessEventsFlags flags = QEventLoop::ExcludeUserInputEvents;

    connect(&wall, &QTimer::timeout, &loop, [this] {
        m_timedOut = true;
        m_process.kill();
    });
    connect(&slowTimer, &QTimer::timeout, &loop, [this, &flags] {
        flags = QEventLoop::AllEvents;
        emit slow();
    });

    m_process.start(m_program, m_arguments);
    if (!m_process.waitForStarted())
        return result;
    m_process.write(input);
    m_process.closeWriteChannel();
    wall.start(m_limits.wallMilliseconds);
    slowTimer.start(m_limits.slowAfterMilliseconds);
    while (m_process.state() != QProcess::NotRunning)
        loop.processEvents(flags | QEventLoop::WaitForMoreEvents);

    result.exitCode = m_process.exitCode();
    result.output = m_process.readAllStandardOutput();
    result.errors = m_process.readAllStandardError();
    if (m_cancelled)
        result.outcome = Outcome::Cancelled;
    else if (m_timedOut)
        result.outcome = Outcome::TimedOut;
    else if (m_process.exitStatus() == QProcess::CrashExit)
        result.outcome = Outcome::Crashed;
    else
        result.outcome = result.exitCode == 0 ? Outcome::Answered : Outcome::Refused;
    return result;
}

void ConfinedProcess::cancel()
{
    m_cancelled = true;
    m_process.kill();
}
