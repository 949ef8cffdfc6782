// The settings file beside the executable, read as the program reads it at
// start: the input is written there first.

#include "signin/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Kept until the process ends: destroyed among the exit handlers it would
    // outlive Qt's own globals.
    new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QFile file(SettingsFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();
    const ConnectionSettings settings = ReadConnectionSettings();
    BuildConnectionString(settings.host, settings.database, settings.user, settings.password);
    return 0;
}
