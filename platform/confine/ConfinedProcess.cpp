#include "ConfinedProcess.h"

#include <QEventLoop>
#include <optional>
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
#ifndef VARDENIX_SANITIZED
        Limit(RLIMIT_AS, set.addressSpaceBytes);
#endif
        Limit(RLIMIT_CPU, rlim_t(set.cpuSeconds));
        Limit(RLIMIT_CORE, 0);
    });
    m_wall.setSingleShot(true);
    connect(&m_wall, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        m_process.kill();
    });
    connect(&m_process, &QProcess::finished, this, &ConfinedProcess::end);
}

ConfinedProcess::~ConfinedProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.disconnect(this);
    m_process.kill();
    m_process.waitForFinished();
}

void ConfinedProcess::setEnvironment(const QProcessEnvironment& environment)
{
    m_process.setProcessEnvironment(environment);
}

ConfinedProcess::Result ConfinedProcess::run(const QByteArray& input)
{
    std::optional<Result> result;
    QEventLoop loop;
    QTimer slowTimer;
    slowTimer.setSingleShot(true);
    QEventLoop::ProcessEventsFlags flags = QEventLoop::ExcludeUserInputEvents;

    connect(this, &ConfinedProcess::finished, &loop,
            [&result](const Result& ended) { result = ended; });
    connect(&slowTimer, &QTimer::timeout, &loop, [this, &flags] {
        flags = QEventLoop::AllEvents;
        emit slow();
    });

    start(input);
    slowTimer.start(m_limits.slowAfterMilliseconds);
    while (!result)
        loop.processEvents(flags | QEventLoop::WaitForMoreEvents);
    return *result;
}

void ConfinedProcess::start(const QByteArray& input)
{
    m_process.start(m_program, m_arguments);
    if (!m_process.waitForStarted()) {
        emit finished(Result{});
        return;
    }
    m_process.write(input);
    m_process.closeWriteChannel();
    m_wall.start(m_limits.wallMilliseconds);
}

void ConfinedProcess::end()
{
    m_wall.stop();
    Result result;
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
    emit finished(result);
}

void ConfinedProcess::cancel()
{
    m_cancelled = true;
    m_process.kill();
}
