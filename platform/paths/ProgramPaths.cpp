#include "ProgramPaths.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
QString& overridePath()
{
    static QString path;
    return path;
}
} // namespace

namespace ProgramPaths {

QString executablePath()
{
    return overridePath().isEmpty() ? QCoreApplication::applicationFilePath() : overridePath();
}

QString folder()
{
    return QFileInfo(executablePath()).absolutePath() + '/';
}

void setExecutablePathForTesting(const QString& path)
{
    overridePath() = path;
}

} // namespace ProgramPaths
