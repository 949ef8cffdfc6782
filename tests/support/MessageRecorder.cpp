#include "MessageRecorder.h"

MessageRecorder::MessageRecorder()
{
    MessageBox::setResponder([this](const MessageBox::Shown& box) {
        m_shown.append(box);
        if (!m_answers.isEmpty())
            return m_answers.takeFirst();
        return (box.flags & MessageBox::YesNo) ? MessageBox::IdYes : MessageBox::IdOk;
    });
}

MessageRecorder::~MessageRecorder()
{
    MessageBox::setResponder({});
}

void MessageRecorder::presetAnswer(int answer)
{
    m_answers.append(answer);
}

QStringList MessageRecorder::texts() const
{
    QStringList result;
    for (const MessageBox::Shown& box : m_shown)
        result.append(box.text);
    return result;
}
