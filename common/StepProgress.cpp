#include "StepProgress.h"

#include "ApplicationTitle.h"

#include <QCoreApplication>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace {

// The dialog waits this long, so that quick steps do not flash it; the
// window handles nothing until it shows, so that it answers within half a
// second with the first refresh.
constexpr qint64 ShowAfterMs = 400;
// The dialog and the windows are brought up to date this often at most.
constexpr qint64 RefreshMs = 50;

// The thread that runs the works beside the window, one at a time. It is
// kept for the process, as a thread made for each step would cost more than
// a page step itself, and joined when the process ends, so that it never
// outlives the program.
class BesideThread
{
public:
    static BesideThread& instance()
    {
        static BesideThread kept;
        return kept;
    }

    void start(std::function<void()> task)
    {
        const std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
        if (!m_thread.joinable())
            m_thread = std::thread([this] { loop(); });
        m_changed.notify_one();
    }

    ~BesideThread()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
            m_changed.notify_one();
        }
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    BesideThread() = default;

    void loop()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_quit || !m_tasks.empty(); });
            if (m_tasks.empty())
                return;
            std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            task = nullptr; // what it holds goes before the next task begins
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_tasks;
    bool m_quit = false;
    std::thread m_thread;
};

StepProgress::Answer& testAnswer()
{
    static StepProgress::Answer answer;
    return answer;
}

} // namespace

StepProgress::StepProgress(QWidget* parent, const QString& what, Unit unit)
    : m_parent(parent), m_what(what), m_unit(unit)
{
    m_running.start();
}

StepProgress::~StepProgress()
{
    finish();
}

void StepProgress::finish()
{
    delete m_dialog;
}

void StepProgress::setAnswerForTesting(Answer answer)
{
    testAnswer() = std::move(answer);
}

bool StepProgress::operator()(qint64 done, qint64 total)
{
    if (testAnswer())
        return testAnswer()(m_what, done, total);
    return show(done, total, m_unit == Unit::Milliseconds);
}

bool StepProgress::show(qint64 done, qint64 total, bool waiting)
{
    if (!m_dialog) {
        if (m_running.elapsed() < ShowAfterMs)
            return true;
        m_dialog = new QProgressDialog(m_parent);
        m_dialog->setWindowTitle(ApplicationTitle());
        m_dialog->setCancelButtonText(QStringLiteral("取消"));
        m_dialog->setWindowModality(Qt::ApplicationModal);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setMinimumDuration(0);
        m_dialog->setMinimumWidth(360);
        m_dialog->show();
    } else if (m_lastShown.isValid() && m_lastShown.elapsed() < RefreshMs && done < total) {
        return !m_dialog->wasCanceled();
    }
    m_lastShown.start();
    // Permille, as the dialog counts in int; a step that only waits has a
    // bar that moves without telling how far.
    const bool measured = !waiting && total > 0;
    m_dialog->setRange(0, measured ? 1000 : 0);
    if (measured)
        m_dialog->setValue(static_cast<int>(std::min<qint64>(done, total) * 1000 / total));
    // Once every byte is through, what is left (a commit, a rename) is not
    // stopped half-way, so "取消" would not be heeded.
    const bool finishing = m_unit == Unit::Bytes && measured && done >= total;
    if (auto* cancel = m_dialog->findChild<QPushButton*>())
        cancel->setEnabled(!finishing);
    const QString how = waiting ? QStringLiteral("已等待 %1 秒").arg(m_running.elapsed() / 1000)
                                : progressText(done, total);
    m_dialog->setLabelText(m_what + QStringLiteral("……\n") + how +
                           (finishing ? QStringLiteral("\n正在完成,请稍候……") : QString()));
    QCoreApplication::processEvents();
    return !m_dialog->wasCanceled();
}

void StepProgress::runBeside(const db::Work& work, const db::Interrupt& interrupt,
                             const db::Gauge& gauge)
{
    // Owned by this call and by the task alike: whichever ends last frees it.
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable ended;
        qint64 done = 0;
        qint64 total = -1;
        bool finished = false;
        std::exception_ptr error;
        std::atomic<bool> stop = false;
        bool interrupted = false; // the interrupt reached the work's call
    };
    const auto shared = std::make_shared<Shared>();
    // A test's answer is asked at the very report it answers, so that its
    // stop lands where it says.
    const Answer answer = testAnswer();
    const bool onlyWaits = m_unit == Unit::Milliseconds;
    BesideThread::instance().start([shared, work, answer, what = m_what, onlyWaits] {
        const db::Progress reported = [&](qint64 done, qint64 total) {
            if (answer)
                return answer(what, done, total);
            const std::lock_guard lock(shared->mutex);
            shared->done = done;
            shared->total = total;
            return !shared->stop.load();
        };
        try {
            // A step that can only tell the time it waits reports its start,
            // so that a stop before its first call lands there.
            if (onlyWaits)
                db::reportProgress(reported, 0, -1);
            work(reported);
        } catch (...) {
            shared->error = std::current_exception();
        }
        const std::lock_guard lock(shared->mutex);
        shared->finished = true;
        shared->ended.notify_all();
    });

    const auto waitForEnd = [&](const std::function<void()>& meanwhile) {
        for (;;) {
            std::unique_lock lock(shared->mutex);
            if (shared->ended.wait_for(lock, std::chrono::milliseconds(RefreshMs),
                                       [&] { return shared->finished; }))
                return;
            lock.unlock();
            meanwhile();
        }
    };
    try {
        waitForEnd([&] {
            if (answer)
                return;
            if (shared->stop) {
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                return;
            }
            qint64 done = 0;
            qint64 total = -1;
            {
                const std::lock_guard lock(shared->mutex);
                done = shared->done;
                total = shared->total;
            }
            // What crossed the network beats what the work handed on.
            bool waiting = onlyWaits;
            if (const std::optional<db::InFlight> moving = gauge ? gauge() : std::nullopt) {
                waiting = moving->done < 0;
                done = std::max<qint64>(moving->done, 0);
                total = moving->total;
            }
            if (!show(done, total, waiting)) {
                shared->stop = true;
                shared->interrupted = interrupt && interrupt();
            }
        });
    } catch (...) {
        // The work reads and writes what the caller holds: it is stopped and
        // has ended before the caller goes on.
        shared->stop = true;
        try {
            if (interrupt)
                static_cast<void>(interrupt());
        } catch (...) {
            // The first error is the one to report.
        }
        waitForEnd([] {});
        throw;
    }
    // Taken over here, so that the error is freed on this thread whichever
    // side lets go of the shared state last.
    std::exception_ptr error;
    {
        const std::lock_guard lock(shared->mutex);
        error = std::exchange(shared->error, nullptr);
    }
    // An interrupted call fails in its database's words; the operator asked
    // for the stop, which is not reported. A work that was left alone (its
    // commit on its way) reports what became of it.
    if (error && shared->interrupted)
        throw db::Cancelled();
    if (error)
        std::rethrow_exception(error);
}

QString StepProgress::progressText(qint64 done, qint64 total) const
{
    const QLocale locale(QLocale::Chinese, QLocale::China);
    if (m_unit == Unit::Rows) {
        return total > 0 ? QStringLiteral("%1 / %2 条记录")
                               .arg(locale.toString(done), locale.toString(total))
                         : QStringLiteral("%1 条记录").arg(locale.toString(done));
    }
    const auto size = [&](qint64 bytes) {
        return locale.formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
    };
    return total > 0 ? QStringLiteral("%1 / %2").arg(size(done), size(total)) : size(done);
}
