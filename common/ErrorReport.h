#pragma once

#include <QObject>
#include <QString>
#include <exception>

// The standard error report: a message box with the error's message, after
// which the program goes on.
void ReportError(const QString& message);

// Reports the exception in flight; call it from a catch block. A step the
// operator cancelled (db::Cancelled) is not reported. The
// program's own Chinese messages are shown as they are; an engine's or a
// library's text follows a Chinese sentence that says what failed and what
// to do (see EngineMessage).
void ReportCurrentException();

// Runs a handler so that no exception crosses the event loop: whatever it
// throws reaches the standard error report.
template <typename Handler> void Guarded(Handler&& handler)
{
    try {
        handler();
    } catch (...) {
        ReportCurrentException();
    }
}

// Connects a signal to a handler of the receiver so that whatever the handler
// throws reaches the standard error report instead of the event loop.
template <typename Sender, typename Signal, typename Receiver>
void ConnectGuarded(Sender* sender, Signal signal, Receiver* receiver, void (Receiver::*handler)())
{
    QObject::connect(sender, signal, receiver, [receiver, handler] {
        Guarded([receiver, handler] { (receiver->*handler)(); });
    });
}
