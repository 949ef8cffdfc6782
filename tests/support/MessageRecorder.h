#pragma once

#include "common/MessageBox.h"

#include <QList>
#include <QStringList>

// Stands in for the message box while it lives: records every box the
// program would show and answers it, with preset answers first, then OK/Yes.
class MessageRecorder final
{
public:
    MessageRecorder();
    ~MessageRecorder();

    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    void presetAnswer(int answer); // the answer to the next box not yet answered
    const QList<MessageBox::Shown>& shown() const { return m_shown; }
    QStringList texts() const;
    void clear() { m_shown.clear(); }

private:
    QList<MessageBox::Shown> m_shown;
    QList<int> m_answers;
};
