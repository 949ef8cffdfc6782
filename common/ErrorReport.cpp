#include "ErrorReport.h"

#include "ApplicationTitle.h"
#include "MessageBox.h"
#include "platform/db/DbError.h"


namespace {

// The message of the exception being handled; empty for one that carries none.
QString CurrentExceptionMessage()
{
    try {
        throw;
    } catch (const db::DbError& error) {
        return error.message();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QString();
    }
}

} // namespace

void ReportError(const QString& message)
{
    MessageBox::Show(ApplicationTitle(), message,
                     MessageBox::Ok | MessageBox::ErrorIcon);
}

void ReportCurrentException()
{
    ReportError(CurrentExceptionMessage());
}
