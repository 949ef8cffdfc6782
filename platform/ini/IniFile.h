#pragma once

#include <QByteArray>
#include <QString>

// An INI file opened for one sequence of reads or writes: read when opened,
// written whole by save(), readable by its owner only. Values are byte
// strings written raw, one key=value line each, without quoting; missing
// files, sections and keys read as empty. New keys follow the existing ones in
// the order they are first written.
class IniFile final
{
public:
    explicit IniFile(const QString& path);
    ~IniFile();

    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    QByteArray read(const char* section, const char* key) const;
    // std::invalid_argument for a value the file could not give back as
    // written: one holding CR, LF or NUL, or with a blank or tab at either end.
    void write(const char* section, const char* key, const QByteArray& value);
    void save(); // throws std::runtime_error when the file cannot be written

private:
    struct Impl;
    Impl* m_impl;
};
