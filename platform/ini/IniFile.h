#pragma once

#include <QByteArray>
#include <QString>

// An INI file opened for one sequence of reads or writes. Values are byte
// strings written raw, one key=value line each, without quoting; missing
// files, sections and keys read as empty. The file is saved on commit().
class IniFile final
{
public:
    explicit IniFile(const QString& path);
    ~IniFile();

    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    QByteArray read(const char* section, const char* key) const;
    void write(const char* section, const char* key, const QByteArray& value);
    void save(); // throws std::runtime_error when the file cannot be written

private:
    struct Impl;
    Impl* m_impl;
};
