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

QByteArray readParameterFile(QFile& file)
{
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw unreadableFile(file);
    return bytes;
}

DbError unreadableFile(const QFile& file)
{
    return DbError(
        QStringLiteral("Cannot read the file %1: %2").arg(file.fileName(), file.errorString()));
}

} // namespace db
