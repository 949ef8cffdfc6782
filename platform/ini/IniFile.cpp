#include "IniFile.h"

#include <QFile>
#include <QSaveFile>
#include <stdexcept>

// Only the byte-string flavour is used, so no wide-character conversion is
// compiled in; values keep their bytes as they are.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

struct IniFile::Impl
{
    QString path;
    // Bytes as they are, one value per key, no multi-line values.
    CSimpleIniA ini{false, false, false};
    bool unreadable = false; // the file exists but could not be read
};

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Whether the file gives the value back as written: a line break or NUL
// would end it, and the reader trims blanks at both ends.
bool storable(const QByteArray& value)
{
    if (value.contains('\r') || value.contains('\n') || value.contains('\0'))
        return false;
    return value.isEmpty() || (!isBlank(value.front()) && !isBlank(value.back()));
}

[[noreturn]] void fail(const QString& message)
{
    throw std::runtime_error(message.toUtf8().toStdString());
}

} // namespace

IniFile::IniFile(const QString& path) : m_impl(new Impl)
{
    m_impl->path = path;
    m_impl->ini.SetSpaces(false);
    QFile file(path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_impl->unreadable = true;
        return;
    }
    const QByteArray content = file.readAll();
    if (m_impl->ini.LoadData(content.constData(), static_cast<size_t>(content.size())) < 0)
        m_impl->unreadable = true;
}

IniFile::~IniFile()
{
    delete m_impl;
}

QByteArray IniFile::read(const char* section, const char* key) const
{
    return QByteArray(m_impl->ini.GetValue(section, key, ""));
}

void IniFile::write(const char* section, const char* key, const QByteArray& value)
{
    if (!storable(value))
        throw std::invalid_argument("a value of an INI file cannot hold line breaks, NUL "
                                    "or blanks at its ends");
    m_impl->ini.SetValue(section, key, value.constData());
}

void IniFile::save()
{
    // Writing back a file that could not be read would lose what it holds.
    if (m_impl->unreadable)
        fail(QStringLiteral("Cannot read %1").arg(m_impl->path));
    std::string content;
    if (m_impl->ini.Save(content, false) < 0)
        fail(QStringLiteral("Cannot write %1").arg(m_impl->path));

    QSaveFile file(m_impl->path);
    // A folder that only lets the file itself be written still gets it.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("Cannot write %1: %2").arg(m_impl->path, file.errorString()));
    // The file may hold a password: only its owner reads it.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(content.data(), static_cast<qint64>(content.size())) !=
            static_cast<qint64>(content.size()) ||
        !file.commit())
        fail(QStringLiteral("Cannot write %1: %2").arg(m_impl->path, file.errorString()));
}
