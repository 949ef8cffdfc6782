#include "PictureError.h"

namespace pictures {

PictureError::PictureError(Reason reason, const QString& detail)
    : std::runtime_error(detail.toStdString()), m_reason(reason)
{
}

QString PictureError::detail() const
{
    return QString::fromUtf8(what());
}

} // namespace pictures
