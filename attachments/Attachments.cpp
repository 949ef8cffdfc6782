#include "Attachments.h"

#include "attachments/PictureHelper.h"
#include "attachments/TempFolder.h"
#include "common/CurrentRecord.h"
#include "common/VisibleName.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Query.h"
#include "platform/pictures/Picture.h"
#include "platform/text/Gbk.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace Attachments {
namespace {

constexpr int FileNameLimit = 255; // bytes of a file name on Linux file systems

bool IsSeparator(QChar c)
{
    return c == QLatin1Char('\\') || c == QLatin1Char('/') || c == QLatin1Char(':');
}

// The longest value an image column takes: 2^31 - 1 bytes on SQL Server,
// 10^9 in the embedded database (SQLite's longest value).
qint64 StoredSizeLimit(const QString& connectionString)
{
    const db::ConnectionStringParts parts = db::parseConnectionString(connectionString);
    return db::isEmbeddedDataSource(parts.dataSource) ? 1000000000 : 2147483647;
}

} // namespace

Refusal::Refusal(const QString& message) : std::runtime_error(message.toStdString()) {}

QString RowKey(const CurrentRecord& record)
{
    const QString key = record.currentId();
    // An id is a whole number; anything else would change the statement.
    const bool digits = !key.isEmpty() && std::all_of(key.cbegin(), key.cend(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    return digits ? key : QString();
}

QString RequireRowKey(const CurrentRecord& record)
{
    const QString key = RowKey(record);
    if (key.isEmpty())
        throw Refusal(QStringLiteral("没有当前记录:请先在列表中选中一条已保存的记录。"));
    return key;
}

void RequireRecordWritten(int changedRows)
{
    if (changedRows == 0)
        throw Refusal(QStringLiteral("这条记录已不在数据库中,可能已被别人删除,没有导入任何内容。"
                                     "请点管理/查看刷新后再试。"));
}

QString BareName(const QString& storedName)
{
    for (qsizetype i = storedName.size() - 1; i >= 0; --i)
        if (IsSeparator(storedName.at(i)))
            return storedName.mid(i + 1);
    return storedName;
}

QString DocumentExtension(const QString& name)
{
    const QString bare = BareName(name);
    const qsizetype dot = bare.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : bare.mid(dot).toLower().trimmed();
}

QString StoredName(const QString& path)
{
    QString stored = path;
    return stored.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
}

void RequireStorableName(const QString& storedName)
{
    const int length = Gbk::byteLength(storedName);
    if (length > StoredNameLimit)
        throw Refusal(QStringLiteral("文件路径太长:数据库最多保存 %1 字节,这个路径有 %2 "
                                     "字节。请把文件放到较短的路径下再导入。")
                          .arg(StoredNameLimit)
                          .arg(length));
}

void RequireStorableSize(const QString& path, const QString& connectionString)
{
    const QFileInfo info(path);
    const qint64 limit = StoredSizeLimit(connectionString);
    if (info.isFile() && info.size() > limit)
        throw Refusal(QStringLiteral("文件太大:数据库的一条记录最多保存 %1 字节,这个文件有 %2 "
                                     "字节。")
                          .arg(limit)
                          .arg(info.size()));
}

pictures::Format RequirePictureFormat(const QString& path)
{
    const std::optional<pictures::Format> format = pictures::formatForFileName(path);
    if (!format)
        throw Refusal(QStringLiteral("不能导入这种图片:%1。只能导入 bmp、ico、wmf、emf、jpg、jpeg "
                                     "文件。")
                          .arg(QFileInfo(path).fileName()));
    return *format;
}

QByteArray ReadWholeFile(const QString& path)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        throw Refusal(QStringLiteral("无法读取文件 %1:%2").arg(path, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Refusal(QStringLiteral("无法读取文件 %1:%2").arg(path, file.errorString()));
    return bytes;
}

QString TempFileName(const QString& bareName)
{
    QString name = VisibleName(BareName(bareName)).trimmed();
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (name.isEmpty())
        name = QStringLiteral("_");
    // Shortened before the extension, so the viewer still knows the type.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString stem = dot > 0 ? name.left(dot) : name;
    QString extension = dot > 0 ? name.mid(dot) : QString();
    if (extension.toUtf8().size() > FileNameLimit / 2) { // that long, it names no type
        stem = name;
        extension.clear();
    }
    while ((stem + extension).toUtf8().size() > FileNameLimit)
        stem.chop(stem.size() > 1 && stem.back().isLowSurrogate() ? 2 : 1);
    return stem + extension;
}

void SaveStored(db::Query& query, const QString& statement, const QString& path,
                db::Progress progress)
{
    query.setSql(statement);
    const db::RunnerScope watched = query.setProgress(std::move(progress));
    if (!query.saveBlobToFile(path))
        throw Refusal(QStringLiteral("这条记录已不存在,请点管理/查看刷新后再试。"));
}

void CopyStored(db::Query& query, const QString& statement, TempFolder::Copy& copy,
                db::Progress progress)
{
    query.setSql(statement);
    const db::RunnerScope watched = query.setProgress(std::move(progress));
    if (!query.readBlob([&copy](const char* bytes, qint64 size) { copy.write(bytes, size); }))
        throw Refusal(QStringLiteral("这条记录已不存在,请点管理/查看刷新后再试。"));
}

QString PictureFilter()
{
    using pictures::Format;
    const auto patterns = [](Format format) {
        QStringList list;
        for (const QString& extension : pictures::extensions(format))
            list << QStringLiteral("*.") + extension;
        return list.join(QLatin1Char(' '));
    };
    QStringList all;
    for (const Format format : pictures::AllFormats)
        all << patterns(format);
    return QStringList{
        QStringLiteral("所有图片 (%1)").arg(all.join(QLatin1Char(' '))),
        QStringLiteral("位图 (%1)").arg(patterns(Format::Bitmap)),
        QStringLiteral("图标 (%1)").arg(patterns(Format::Icon)),
        QStringLiteral("图元文件 (%1)").arg(patterns(Format::Metafile)),
        QStringLiteral("增强图元文件 (%1)").arg(patterns(Format::EnhancedMetafile)),
        QStringLiteral("JPEG 图像 (%1)").arg(patterns(Format::Jpeg)),
    }
        .join(QStringLiteral(";;"));
}

std::unique_ptr<QObject> PicturePreview(const QString& path, QSize size,
                                        std::function<void(const QImage&)> show)
{
    // Larger files would hold up the dialog at every step through the list.
    constexpr qint64 PreviewedBytes = 64 * 1024 * 1024;
    const std::optional<pictures::Format> format = pictures::formatForFileName(path);
    const QFileInfo info(path);
    QFile file(path);
    if (!format || !info.isFile() || info.size() > PreviewedBytes ||
        !file.open(QIODevice::ReadOnly)) {
        show(QImage());
        return nullptr;
    }
    return PictureHelper::preview(*format, file.readAll(), size, std::move(show));
}

} // namespace Attachments
