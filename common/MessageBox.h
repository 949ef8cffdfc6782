#pragma once

#include <QString>
#include <functional>

// The program's one message-box routine. Flags and results follow the
// desktop convention the operators know: flags 0 shows one OK button, flags 4
// Yes and No buttons; 16 adds the error icon. Yes answers 6, No 7, OK 1.
namespace MessageBox {

constexpr int Ok = 0;
constexpr int YesNo = 4;
constexpr int ErrorIcon = 16;
constexpr int IdOk = 1;
constexpr int IdYes = 6;
constexpr int IdNo = 7;

struct Shown
{
    QString title;
    QString text;
    int flags = 0;
};

// Shows text with the title "提示" and returns the answer.
int Show(const QString& text, int flags = Ok);
int Show(const QString& title, const QString& text, int flags);

// Tests put a responder in place of the real box: it sees what would be
// shown and gives the answer. An empty function restores the real box.
using Responder = std::function<int(const Shown&)>;
void setResponder(Responder responder);

} // namespace MessageBox
