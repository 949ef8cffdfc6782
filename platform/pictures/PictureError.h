#pragma once

#include <QString>
#include <stdexcept>

namespace pictures {

// A picture that cannot be loaded. The reason lets the caller word its own
// message; the detail says what the decoder found.
class PictureError final : public std::runtime_error
{
public:
    enum class Reason
    {
        UnknownFormat, // the file name names no loadable type
        Corrupt        // the content does not decode as its type
    };

    PictureError(Reason reason, const QString& detail);

    Reason reason() const { return m_reason; }
    QString detail() const;

private:
    Reason m_reason;
};

} // namespace pictures
