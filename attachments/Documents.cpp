#include "app/AppState.h"
#include "app/Main.h"
#include "attachments/Attachments.h"
#include "common/FileDialogs.h"
#include "common/FreshConnection.h"
#include "common/MessageBox.h"
#include "common/SqlText.h"
#include "platform/shell/DesktopOpen.h"

using Attachments::RequireRowKey;

void TMainBox::SpeedButton1Click()
{
    const QString key = RequireRowKey(ADOQueryMain);
    // Connected before the dialog: an unreachable database is reported
    // before the operator picks a file.
    FreshConnection fresh;
    const QString path =
        FileDialogs::Choose(this, {FileDialogs::Kind::Open, QString(), QString(), {}});
    if (path.isEmpty())
        return;
    const QString storedName = Attachments::StoredName(path);
    Attachments::RequireStorableName(storedName);
    Attachments::RequireStorableSize(path);

    db::Query& query = fresh.query();
    query.addSql(QStringLiteral("update fid_Main set doc=:file where id=") + key +
                 QStringLiteral(";"));
    query.loadFileParameter(path);
    // The document and its name change together or not at all.
    db::Transaction transaction(fresh.connection());
    query.execute();
    query.clearSql();
    query.addSql(QStringLiteral("update fid_Main set docname='") + QuoteDoubled(storedName) +
                 QStringLiteral("' where id=") + key + QStringLiteral(";"));
    query.execute();
    transaction.commit();
    MessageBox::Show(QStringLiteral("文件成功导入到数据库中!点管理/查看刷新后显示。"));
}

void TMainBox::SpeedButton2Click()
{
    const QString key = RequireRowKey(ADOQueryMain);
    FreshConnection fresh;
    const QString path = FileDialogs::Choose(
        this, {FileDialogs::Kind::Save, AppState.CurrentDocumentName, QString(), {}});
    if (path.isEmpty())
        return;
    db::Query& query = fresh.query();
    Attachments::OpenRow(query, QStringLiteral("select doc from  fid_Main where id=") + key);
    // A row without a document gives an empty file.
    query.saveBytesToFile(QStringLiteral("doc"), path);
    MessageBox::Show(QStringLiteral("文件成功保存!"));
}

void TMainBox::ImgPDFDblClick()
{
    const QString folder = Attachments::PrepareTempFolder();
    if (AppState.CurrentDocumentName.isEmpty())
        throw Attachments::Refusal(QStringLiteral("没有文件数据!"));
    const QString target =
        folder + QLatin1Char('/') + Attachments::TempFileName(AppState.CurrentDocumentName);
    const QString key = RequireRowKey(ADOQueryMain);
    FreshConnection fresh;
    db::Query& query = fresh.query();
    Attachments::OpenRow(query, QStringLiteral("select doc from  fid_Main where id=") + key);
    Attachments::WriteTempCopy(query, QStringLiteral("doc"), target);
    // The desktop reports its own failures.
    DesktopOpen::open(target);
}
