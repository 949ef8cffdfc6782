#include "app/AppState.h"
#include "app/Main.h"
#include "attachments/Attachments.h"
#include "attachments/PictureHelper.h"
#include "common/FileDialogs.h"
#include "common/FreshConnection.h"
#include "common/MessageBox.h"
#include "common/SqlText.h"
#include "platform/pictures/Picture.h"
#include "platform/shell/DesktopOpen.h"

#include <QFile>
#include <QFileInfo>

using Attachments::Refusal;
using Attachments::RequireRowKey;

namespace {

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

// The picture type the file's extension names; any other is refused.
pictures::Format RequirePictureFormat(const QString& path)
{
    const std::optional<pictures::Format> format = pictures::formatForFileName(path);
    if (!format)
        throw Refusal(QStringLiteral("不能导入这种图片:%1。只能导入 bmp、ico、wmf、emf、jpg、jpeg "
                                     "文件。")
                          .arg(QFileInfo(path).fileName()));
    return *format;
}

} // namespace

void TMainBox::N2Click()
{
    const QString key = RequireRowKey(ADOQueryMain);
    FreshConnection fresh;
    const QString path =
        FileDialogs::Choose(this, {FileDialogs::Kind::Open, QString(), Attachments::PictureFilter(),
                                   Attachments::PicturePreview});
    if (path.isEmpty())
        return;
    const QString storedName = Attachments::StoredName(path);
    Attachments::RequireStorableName(storedName);
    const pictures::Format format = RequirePictureFormat(path);
    Attachments::RequireStorableSize(path);
    const QByteArray picture = ReadWholeFile(path);
    // Content that does not decode as its type is refused here, before
    // anything is stored; a cancelled decoding stores nothing either.
    const std::optional<QByteArray> thumbnail =
        PictureHelper::thumbnail(this, path, format, picture);
    if (!thumbnail)
        return;

    db::Query& query = fresh.query();
    // The picture, its thumbnail and its name change together or not at all.
    db::Transaction transaction(fresh.connection());
    query.addSql(QStringLiteral("update fid_Main set pic=:file where id=") + key +
                 QStringLiteral(";"));
    query.setFileParameter(picture);
    query.execute();
    query.clearSql();
    query.addSql(QStringLiteral("update fid_Main set picmin=:file where id=") + key +
                 QStringLiteral(";"));
    query.setFileParameter(*thumbnail);
    query.execute();
    query.clearSql();
    query.addSql(QStringLiteral("update fid_Main set picname='") + QuoteDoubled(storedName) +
                 QStringLiteral("' where id=") + key + QStringLiteral(";"));
    query.execute();
    transaction.commit();
    MessageBox::Show(QStringLiteral("图片成功导入到数据库中!点管理/查看刷新后显示。"));
}

void TMainBox::E1Click()
{
    const QString key = RequireRowKey(ADOQueryMain);
    FreshConnection fresh;
    const QString path = FileDialogs::Choose(
        this,
        {FileDialogs::Kind::Save, AppState.CurrentPictureName, Attachments::PictureFilter(), {}});
    if (path.isEmpty())
        return;
    db::Query& query = fresh.query();
    Attachments::OpenRow(query, QStringLiteral("select pic from  fid_Main where id=") + key);
    // The stored bytes as they are, whatever extension the operator chose.
    query.saveBytesToFile(QStringLiteral("pic"), path);
    MessageBox::Show(QStringLiteral("图形文件成功保存!"));
}

void TMainBox::V1Click()
{
    const QString folder = Attachments::PrepareTempFolder();
    if (AppState.CurrentPictureName.isEmpty())
        throw Refusal(QStringLiteral("没有图片数据!"));
    const QString target =
        folder + QLatin1Char('/') + Attachments::TempFileName(AppState.CurrentPictureName);
    const QString key = RequireRowKey(ADOQueryMain);
    FreshConnection fresh;
    db::Query& query = fresh.query();
    Attachments::OpenRow(query, QStringLiteral("select pic from  fid_Main where id=") + key);
    Attachments::WriteTempCopy(query, QStringLiteral("pic"), target);
    DesktopOpen::open(target);
}
