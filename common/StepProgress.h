#pragma once

#include "platform/db/Progress.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <functional>

class QProgressDialog;
class QWidget;

// How far a step that may take long got: a modal dialog that appears once
// the step has run 0.4 seconds, says what the step does and how far it
// got, and offers "取消". While it shows, the windows keep painting and take
// no other command. It is handed to the step as its db::Progress; after
// "取消" it answers false, which stops the step with nothing done.
class StepProgress final
{
public:
    enum class Unit
    {
        Bytes,
        Rows,
        Milliseconds // a step whose end cannot be told: the time waited is shown
    };

    StepProgress(QWidget* parent, const QString& what, Unit unit);
    ~StepProgress();

    StepProgress(const StepProgress&) = delete;
    StepProgress& operator=(const StepProgress&) = delete;

    // done of total (-1: not known); false once the operator cancelled.
    bool operator()(qint64 done, qint64 total);
    // The step is over: the dialog goes before the step's message shows.
    void finish();

    // Runs the work on a thread of its own and tells this dialog how far it
    // got, so that the windows keep painting even while the work waits on a
    // single call (a big write, a commit, the network). "取消" stops the work
    // at its next report and interrupts the call it waits in. The work's
    // error, or db::Cancelled once "取消" reached it, is thrown here once the
    // work has ended; a work whose commit was on its way when "取消" came is
    // not interrupted and ends with its true outcome. The work touches no
    // widget; nothing else runs meanwhile, as the dialog is modal and input
    // waits once "取消" was pressed. What the work and this call share is
    // owned by both, and this call never returns, nor throws, before the
    // work has ended.
    //
    // Where the work waits in one call that moves bytes over the network, the
    // gauge tells how far that call got: the bar shows the bytes that reached
    // the other side, or, where they cannot be counted, moves without
    // telling how far beside the seconds waited.
    void runBeside(const db::Work& work, const db::Interrupt& interrupt = {},
                   const db::Gauge& gauge = {});

    // Tests answer instead of the operator: the function is asked at every
    // report whether the step (named by its text) goes on, and no dialog is
    // shown. An empty one puts the dialog back.
    using Answer = std::function<bool(const QString& what, qint64 done, qint64 total)>;
    static void setAnswerForTesting(Answer answer);

private:
    // false once the operator cancelled; waiting: only the time waited is known.
    bool show(qint64 done, qint64 total, bool waiting);
    QString progressText(qint64 done, qint64 total) const;

    QWidget* m_parent;
    QString m_what;
    Unit m_unit;
    QElapsedTimer m_running;
    QElapsedTimer m_lastShown;
    QPointer<QProgressDialog> m_dialog;
};
