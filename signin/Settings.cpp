#include "Settings.h"

#include "platform/db/ConnectionString.h"
#include "platform/ini/IniFile.h"
#include "platform/paths/ProgramPaths.h"
#include "platform/text/Gbk.h"

#include <QFileInfo>
#include <algorithm>
#include <stdexcept>

namespace {

const char* const Section = "odbc";

// Scrambled printable text is made of bytes 21 to 126 only, and ScrambleText
// never yields byte 127 for any input. A stored value that begins with it is
// therefore in this program's own form: the text's UTF-8 bytes as lowercase
// hexadecimal digits, scrambled. That form keeps every text exactly, holds no
// line break and no blank at either end, so the file gives it back unchanged.
const char OwnFormMarker = '\x7f';

// The characters whose single byte ScrambleText turns reversibly.
bool scramblesReversibly(QChar c)
{
    return c.unicode() >= 21 && c.unicode() <= 126;
}

QByteArray StoredForm(const QString& value)
{
    if (std::all_of(value.begin(), value.end(), scramblesReversibly)) {
        // Bytes 29 and 30 scramble to a blank, which the file would drop at
        // either end of the value.
        const QByteArray scrambled = ScrambleText(value.toLatin1());
        if (scrambled.isEmpty() || (scrambled.front() != ' ' && scrambled.back() != ' '))
            return scrambled;
    }
    return OwnFormMarker + ScrambleText(value.toUtf8().toHex());
}

QString ValueOf(const QByteArray& stored)
{
    if (stored.startsWith(OwnFormMarker))
        return QString::fromUtf8(QByteArray::fromHex(UnscrambleText(stored.mid(1))));
    return Gbk::decode(UnscrambleText(stored));
}

QString ReadValue(const IniFile& file, const char* key)
{
    return ValueOf(file.read(Section, key));
}

void WriteValue(IniFile& file, const char* key, const QString& value)
{
    file.write(Section, key, StoredForm(value));
}

} // namespace

QByteArray ScrambleText(const QByteArray& text)
{
    QByteArray result(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const auto v = static_cast<signed char>(text[i]);
        const bool odd = i % 2 == 0; // positions count from 1
        const unsigned int shifted =
            odd ? (v > 123 ? b + 153 : b + 3) : (v > 124 ? b + 152 : b + 2);
        result[i] = static_cast<char>(shifted % 256);
    }
    return result;
}

QByteArray UnscrambleText(const QByteArray& text)
{
    QByteArray result(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const auto v = static_cast<signed char>(text[i]);
        const bool odd = i % 2 == 0;
        const unsigned int shifted =
            odd ? (v < 24 ? b + 103 : b + 253) : (v < 23 ? b + 104 : b + 254);
        result[i] = static_cast<char>(shifted % 256);
    }
    return result;
}

QString BuildConnectionString(const QString& host, const QString& database, const QString& user,
                              const QString& password)
{
    using db::quotedValue;
    return QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=") + quotedValue(database) +
           QStringLiteral(";Data Source=") + quotedValue(host) + QStringLiteral(";Password=") +
           quotedValue(password) + QStringLiteral(";Persist Security Info=True;User ID=") +
           quotedValue(user);
}

QString SettingsFilePath()
{
    const QFileInfo executable(ProgramPaths::executablePath());
    return executable.path() + QLatin1Char('/') + executable.completeBaseName() +
           QStringLiteral(".ini");
}

ConnectionSettings ReadConnectionSettings()
{
    const IniFile file(SettingsFilePath());
    ConnectionSettings settings;
    settings.host = ReadValue(file, "host");
    settings.user = ReadValue(file, "user");
    settings.database = ReadValue(file, "database");
    settings.password = ReadValue(file, "password");
    settings.dbuser = ReadValue(file, "dbuser");
    return settings;
}

namespace {

// Saves the file, saying in the operators' language what failed.
void Save(IniFile& file)
{
    try {
        file.save();
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(QStringLiteral("设置文件保存失败: %1")
                                     .arg(QString::fromUtf8(error.what()))
                                     .toStdString());
    }
}

} // namespace

void WriteConnectionSettings(const QString& host, const QString& user, const QString& port,
                             const QString& database, const QString& password)
{
    IniFile file(SettingsFilePath());
    WriteValue(file, "host", host);
    WriteValue(file, "user", user);
    WriteValue(file, "port", port);
    WriteValue(file, "database", database);
    WriteValue(file, "password", password);
    Save(file);
}

void WriteOperatorName(const QString& dbuser)
{
    IniFile file(SettingsFilePath());
    WriteValue(file, "dbuser", dbuser);
    Save(file);
}
