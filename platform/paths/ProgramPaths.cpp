#include "ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>

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

// The manual ships beside the executable; the user's folder links to it, so
// that it is beside the program there too. A link left by an install
// elsewhere is pointed at this one; a file of the user's own is kept.
void linkManual(const QString& shippedFolder, const QString& userFolder)
{
    const QString shipped = shippedFolder + QStringLiteral("help.doc");
    const QString link = userFolder + QStringLiteral("help.doc");
    const QFileInfo existing(link);
    if (existing.isSymLink()) {
        if (existing.symLinkTarget() == shipped)
            return;
        QFile::remove(link);
    } else if (existing.exists()) {
        return;
    }
    QFile::link(shipped, link);
}

// The user's own program folder, made when missing. Failures are left to
// the first write there, which names the path in the operators' language.
QString userFolder(const QFileInfo& executable)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QLatin1Char('/') + executable.completeBaseName() + QLatin1Char('/');
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    linkManual(executable.absolutePath() + QLatin1Char('/'), folder);
    return folder;
}

QString folderOf(const QString& executable)
{
    const QFileInfo info(executable);
    const QString besideIt = info.absolutePath() + QLatin1Char('/');
    if (QFileInfo::exists(besideIt + QLatin1String(ProgramPaths::PerUserMarker)))
        return userFolder(info);
    return besideIt;
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
        return folderOf(executable);
    FolderCache& cache = folderCache();
    const QMutexLocker lock(&cache.mutex);
    if (cache.folder.isEmpty() || cache.executable != executable) {
        cache.folder = folderOf(executable);
        cache.executable = executable;
    }
    return cache.folder;
}

void setExecutablePathForTesting(const QString& path)
{
    overridePath() = path;
}

} // namespace ProgramPaths
