#include "AttachmentStrip.h"

#include "Attachments.h"
#include "ImportReadBack.h"
#include "PictureHelper.h"
#include "TempFolder.h"
#include "Viewable.h"
#include "common/CurrentRecord.h"
#include "common/ErrorReport.h"
#include "common/FileDialogs.h"
#include "common/FreshConnection.h"
#include "common/MessageBox.h"
#include "common/SqlText.h"
#include "common/StepProgress.h"
#include "common/VisibleName.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/shell/DesktopOpen.h"

#include <QAction>
#include <QBuffer>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QToolButton>
#include <functional>

using Attachments::Refusal;
using Attachments::RequireRowKey;

namespace {

// Runs the work beside the window, with the connection lent to the thread
// that runs it; "取消" also interrupts what the connection waits for, and the
// progress shows what crossed the network.
void RunBeside(StepProgress& progress, FreshConnection& fresh, const db::Work& work)
{
    db::Connection& connection = fresh.connection();
    progress.runBeside(
        connection.lent(work), [&connection] { return connection.interrupt(); },
        [&connection] { return connection.inFlight(); });
}

// Passes a double-click on a watched widget to a handler.
class DoubleClicks final : public QObject
{
public:
    DoubleClicks(QObject* parent, std::function<void()> handler)
        : QObject(parent), m_handler(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick) {
            m_handler();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_handler;
};

} // namespace

AttachmentStrip::AttachmentStrip(const Controls& controls, const Session& session,
                                 const CurrentRecord& record, QWidget& window)
    : QObject(&window), m_controls(controls), m_session(session), m_record(record), m_window(window)
{
    connectControls();
}

void AttachmentStrip::connectControls()
{
    const Controls& c = m_controls;
    ConnectGuarded(c.SpeedButton1, &QToolButton::clicked, this, &AttachmentStrip::importDocument);
    ConnectGuarded(c.SpeedButton2, &QToolButton::clicked, this, &AttachmentStrip::exportDocument);
    ConnectGuarded(c.N2, &QAction::triggered, this, &AttachmentStrip::importPicture);
    ConnectGuarded(c.E1, &QAction::triggered, this, &AttachmentStrip::exportPicture);
    ConnectGuarded(c.V1, &QAction::triggered, this, &AttachmentStrip::viewPicture);

    auto* documentIcons = new DoubleClicks(this, [this] { Guarded([this] { openDocument(); }); });
    for (QLabel* icon : {c.ImgOther, c.ImgXLS, c.ImgDoc, c.ImgPDF})
        icon->installEventFilter(documentIcons);
    c.ImagePic->installEventFilter(
        new DoubleClicks(this, [this] { Guarded([this] { viewPicture(); }); }));
}

void AttachmentStrip::setGroups(bool pictures, bool documents)
{
    m_pictures = pictures;
    m_documents = documents;
}

void AttachmentStrip::showCurrentRecord()
{
    m_documentName = Attachments::BareName(m_record.currentText(QStringLiteral("docname")));
    m_pictureName = Attachments::BareName(m_record.currentText(QStringLiteral("picname")));

    if (m_documents)
        showDocumentName(m_documentName);
    if (m_pictures && !m_pictureName.isEmpty())
        loadThumbnail();
    else
        m_controls.ImagePic->clear();
}

void AttachmentStrip::importDocument()
{
    const QString key = RequireRowKey(m_record);
    // Connected before the dialog: an unreachable database is reported
    // before the operator picks a file.
    FreshConnection fresh(m_session.connectionString);
    const QString path =
        FileDialogs::Choose(&m_window, {FileDialogs::Kind::Open, QString(), QString(), {}});
    if (path.isEmpty())
        return;
    const QString storedName = Attachments::StoredName(path);
    Attachments::RequireStorableName(storedName);
    Attachments::RequireStorableSize(path, m_session.connectionString);

    db::Query& query = fresh.query();
    query.setSql(QStringLiteral("update fid_Main set doc=:file where id=") + key +
                 QStringLiteral(";"));
    query.loadFileParameter(path);
    const QString imported = QStringLiteral("文件成功导入到数据库中!点管理/查看刷新后显示。");
    StepProgress progress(&m_window, QStringLiteral("正在导入文件"), StepProgress::Unit::Bytes);
    bool committing = false;
    try {
        RunBeside(progress, fresh, [&](const db::Progress& reported) {
            const db::RunnerScope watched = query.setProgress(reported);
            // The document and its name change together or not at all; a
            // cancel leaves both as they were.
            db::Transaction transaction(fresh.connection());
            Attachments::RequireRecordWritten(query.execute());
            query.setSql(QStringLiteral("update fid_Main set docname='") +
                         QuoteDoubled(storedName) + QStringLiteral("' where id=") + key +
                         QStringLiteral(";"));
            Attachments::RequireRecordWritten(query.execute());
            committing = true;
            transaction.commit();
        });
    } catch (const db::DbError& error) {
        if (!committing)
            throw;
        progress.finish();
        QFile content(path);
        if (!content.open(QIODevice::ReadOnly))
            throw;
        Attachments::ReportImportAfterFailedCommit(
            m_session.connectionString,
            {key, QStringLiteral("doc"), QStringLiteral("docname"), storedName}, content,
            QStringLiteral("文件"), error.message(), imported);
        return;
    }
    progress.finish();
    MessageBox::Show(imported);
}

void AttachmentStrip::exportDocument()
{
    exportStored(QStringLiteral("doc"), m_documentName, QString(), QStringLiteral("文件成功保存!"));
}

void AttachmentStrip::openDocument()
{
    viewStored(QStringLiteral("doc"), m_documentName, QStringLiteral("没有文件数据!"));
}

void AttachmentStrip::importPicture()
{
    const QString key = RequireRowKey(m_record);
    FreshConnection fresh(m_session.connectionString);
    const QString path =
        FileDialogs::Choose(&m_window, {FileDialogs::Kind::Open, QString(),
                                        Attachments::PictureFilter(), Attachments::PicturePreview});
    if (path.isEmpty())
        return;
    const QString storedName = Attachments::StoredName(path);
    Attachments::RequireStorableName(storedName);
    const pictures::Format format = Attachments::RequirePictureFormat(path);
    Attachments::RequireStorableSize(path, m_session.connectionString);
    const QByteArray picture = Attachments::ReadWholeFile(path);
    // Content that does not decode as its type is refused here, before
    // anything is stored; a cancelled decoding stores nothing either.
    const std::optional<QByteArray> thumbnail =
        PictureHelper::thumbnail(&m_window, path, format, picture);
    if (!thumbnail)
        return;

    db::Query& query = fresh.query();
    const QString imported = QStringLiteral("图片成功导入到数据库中!点管理/查看刷新后显示。");
    StepProgress progress(&m_window, QStringLiteral("正在导入图片"), StepProgress::Unit::Bytes);
    bool committing = false;
    try {
        RunBeside(progress, fresh, [&](const db::Progress& reported) {
            const db::RunnerScope watched = query.setProgress(reported);
            // The picture, its thumbnail and its name change together or not
            // at all; a cancel leaves all three as they were.
            db::Transaction transaction(fresh.connection());
            query.setSql(QStringLiteral("update fid_Main set pic=:file where id=") + key +
                         QStringLiteral(";"));
            query.setFileParameter(picture);
            Attachments::RequireRecordWritten(query.execute());
            query.setSql(QStringLiteral("update fid_Main set picmin=:file where id=") + key +
                         QStringLiteral(";"));
            query.setFileParameter(*thumbnail);
            Attachments::RequireRecordWritten(query.execute());
            query.setSql(QStringLiteral("update fid_Main set picname='") +
                         QuoteDoubled(storedName) + QStringLiteral("' where id=") + key +
                         QStringLiteral(";"));
            Attachments::RequireRecordWritten(query.execute());
            committing = true;
            transaction.commit();
        });
    } catch (const db::DbError& error) {
        if (!committing)
            throw;
        progress.finish();
        QBuffer content;
        content.setData(picture);
        content.open(QIODevice::ReadOnly);
        Attachments::ReportImportAfterFailedCommit(
            m_session.connectionString,
            {key, QStringLiteral("pic"), QStringLiteral("picname"), storedName}, content,
            QStringLiteral("图片"), error.message(), imported);
        return;
    }
    progress.finish();
    MessageBox::Show(imported);
}

void AttachmentStrip::exportPicture()
{
    // The stored bytes as they are, whatever extension the operator chose.
    exportStored(QStringLiteral("pic"), m_pictureName, Attachments::PictureFilter(),
                 QStringLiteral("图形文件成功保存!"));
}

void AttachmentStrip::viewPicture()
{
    viewStored(QStringLiteral("pic"), m_pictureName, QStringLiteral("没有图片数据!"));
}

void AttachmentStrip::showDocumentName(const QString& name)
{
    const Controls& c = m_controls;
    const QString extension = Attachments::DocumentExtension(name);
    QLabel* icon = c.ImgOther;
    if (extension == QLatin1String(".doc"))
        icon = c.ImgDoc;
    else if (extension == QLatin1String(".xls"))
        icon = c.ImgXLS;
    else if (extension == QLatin1String(".pdf"))
        icon = c.ImgPDF;
    else if (extension.isEmpty())
        icon = nullptr;

    c.PnlFileName->setText(name.isEmpty() ? QStringLiteral("没有文件数据!") : VisibleName(name));
    for (QLabel* each : {c.ImgOther, c.ImgXLS, c.ImgDoc, c.ImgPDF})
        each->setVisible(each == icon);
}

void AttachmentStrip::loadThumbnail()
{
    // A row without an id has nothing stored yet.
    const QString key = Attachments::RowKey(m_record);
    if (key.isEmpty()) {
        m_controls.ImagePic->clear();
        return;
    }
    FreshConnection fresh(m_session.connectionString);
    db::Query& query = fresh.query();
    query.setSql(QStringLiteral("select picmin from  fid_Main where id=") + key);
    query.open();
    const QByteArray bytes = query.eof() ? QByteArray() : query.bytes(QStringLiteral("picmin"));
    if (const std::optional<QPixmap> shown = m_shownThumbnails.find(key, bytes)) {
        m_controls.ImagePic->setPixmap(*shown);
        return;
    }
    const std::optional<QImage> thumbnail = PictureHelper::storedThumbnail(&m_window, bytes);
    if (!thumbnail)
        return; // the operator cancelled: the area keeps what it showed
    // An empty or NULL thumbnail leaves the area blank.
    if (thumbnail->isNull()) {
        m_controls.ImagePic->clear();
        return;
    }
    const QPixmap picture = QPixmap::fromImage(*thumbnail);
    m_shownThumbnails.insert(key, bytes, picture);
    m_controls.ImagePic->setPixmap(picture);
}

void AttachmentStrip::exportStored(const QString& field, const QString& presetName,
                                   const QString& filter, const QString& doneMessage)
{
    const QString key = RequireRowKey(m_record);
    FreshConnection fresh(m_session.connectionString);
    const QString path = FileDialogs::Choose(
        &m_window, {FileDialogs::Kind::Save, VisibleName(presetName), filter, {}});
    if (path.isEmpty())
        return;
    StepProgress progress(&m_window, QStringLiteral("正在导出"), StepProgress::Unit::Bytes);
    // A row without the attachment gives an empty file; a cancel, none.
    RunBeside(progress, fresh, [&](const db::Progress& reported) {
        Attachments::SaveStored(
            fresh.query(), QStringLiteral("select %1 from  fid_Main where id=").arg(field) + key,
            path, reported);
    });
    progress.finish();
    MessageBox::Show(doneMessage);
}

void AttachmentStrip::viewStored(const QString& field, const QString& name,
                                 const QString& missingMessage)
{
    if (name.isEmpty())
        throw Refusal(missingMessage);
    const bool picture = field == QLatin1String("pic");
    const QString copyName = Attachments::TempFileName(name);
    // A picture is named by its bytes below; a document's type is known now.
    if (!picture)
        Viewable::RequireDocumentType(copyName, name);
    const QString key = RequireRowKey(m_record);
    TempFolder::Copy copy(m_session.tempFolder(), TempFolder::RecordFolder(field, key));
    FreshConnection fresh(m_session.connectionString);
    StepProgress progress(&m_window, QStringLiteral("正在打开"), StepProgress::Unit::Bytes);
    RunBeside(progress, fresh, [&](const db::Progress& reported) {
        Attachments::CopyStored(
            fresh.query(), QStringLiteral("select %1 from  fid_Main where id=").arg(field) + key,
            copy, reported);
    });
    progress.finish();
    if (!picture)
        Viewable::RequireNoProgram(copy.head(), name);
    const QString shownName =
        picture ? Viewable::PictureCopyName(copyName, copy.head(), name) : copyName;
    // The desktop reports its own failures.
    DesktopOpen::open(copy.finish(shownName));
}
