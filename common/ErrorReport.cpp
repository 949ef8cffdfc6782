#include "ErrorReport.h"

#include "ApplicationTitle.h"
#include "EngineMessage.h"
#include "MessageBox.h"
#include "platform/db/DbError.h"
#include "platform/db/Progress.h"

#include <algorithm>
#include <new>

namespace {

// The program's own messages are Chinese; any other text comes from a
// library and is shown after a sentence the operator can read.
bool IsChinese(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.script() == QChar::Script_Han; });
}

// The message of the exception being handled.
QString CurrentExceptionMessage()
{
    try {
        throw;
    } catch (const db::DbError& error) {
        return EngineMessage::forOperator(error.message());
    } catch (const std::bad_alloc&) {
        return QStringLiteral("内存不足，这一步没有完成。请关闭其他程序后再试。");
    } catch (const std::exception& error) {
        const QString text = QString::fromUtf8(error.what());
        if (IsChinese(text))
            return text;
        return QStringLiteral("程序出错，这一步没有完成。请再试一次；问题仍在时，请把下面的信息"
                              "告诉管理员。\n\n详细信息: ") +
               text;
    } catch (...) {
        return QStringLiteral("程序出错，这一步没有完成。请再试一次；问题仍在时，请通知管理员。");
    }
}

} // namespace

void ReportError(const QString& message)
{
    MessageBox::Show(ApplicationTitle(), message, MessageBox::Ok | MessageBox::ErrorIcon);
}

void ReportCurrentException()
{
    try {
        throw;
    } catch (const db::Cancelled&) {
        return; // the operator stopped the step and needs no word about it
    } catch (...) {
    }
    ReportError(CurrentExceptionMessage());
}
