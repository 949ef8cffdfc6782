#include "ProgramPaths.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMutex>

namespace {
QString& overridePath()
{
    static QString path;
    return path;
}

// The folder is asked for on every connection; it is worked out once for
// each absolute executable path (a relative one depends on the working
// folder).
struct FolderCache
{
    QMutex mutex;
    QString executable;
    QString folder;
};

// Never destroyed: connections made by other objects' destructors at exit
// still ask for the folder.
FolderCache& folderCache()
{
    static auto* cache = new FolderCache;
    return *cache;
}
} // namespace

namespace ProgramPaths {

QString executablePath()
{
    return overridePath().isEmpty() ? QCoreApplication::applicationFilePath() : overridePath();
}

QString folder()
{
    const QString executable = executablePath();
    // An absolute path starts with a slash on Linux; QDir would build a
    // QFileInfo to tell, on every connection.
    if (!executable.startsWith(QLatin1Char('/')))
        return QFileInfo(executable).absolutePath() + '/';
    FolderCache& cache = folderCache();
    const QMutexLocker lock(&cache.mutex);
    if (cache.folder.isEmpty() || cache.executable != executable) {
        cache.folder = QFileInfo(executable).absolutePath() + '/';
        cache.executable = executable;
    }
    return cache.folder;
}

void setExecutablePathForTesting(const QString& path)
{
    overridePath() = path;
}

} // namespace ProgramPaths
