#include "Binding.h"

#include "DbError.h"

#include <limits>

namespace db {

Binding bindingOf(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return Binding::Null;
    switch (value.typeId()) {
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        if (value.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
            throw DbError(
                QStringLiteral("The value %1 is larger than a 64-bit integer column holds.")
                    .arg(value.toULongLong()));
        return Binding::Integer;
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return Binding::Integer;
    case QMetaType::Double:
    case QMetaType::Float:
        return Binding::Real;
    case QMetaType::QByteArray:
        return Binding::Blob;
    default:
        return Binding::Text;
    }
}

} // namespace db
