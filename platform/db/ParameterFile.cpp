#include "ParameterFile.h"

#include <QFileInfo>

namespace db {

void openParameterFile(QFile& file)
{
    if (QFileInfo(file.fileName()).isDir())
        throw DbError(
            QStringLiteral("Cannot read the file %1: it is a folder.").arg(file.fileName()));
    if (!file.open(QIODevice::ReadOnly))
        throw unreadableFile(file);
}

QByteArray readParameterFile(QIODevice& content)
{
    const QByteArray bytes = content.readAll();
    const auto* file = qobject_cast<const QFileDevice*>(&content);
    if (file && file->error() != QFileDevice::NoError)
        throw unreadableFile(content);
    return bytes;
}

DbError unreadableFile(const QIODevice& content)
{
    const auto* file = qobject_cast<const QFileDevice*>(&content);
    return DbError(QStringLiteral("Cannot read the file %1: %2")
                       .arg(file ? file->fileName() : QString(), content.errorString()));
}

} // namespace db
