#include "app/AppState.h"
#include "app/Main.h"
#include "attachments/Attachments.h"
#include "attachments/PictureHelper.h"
#include "common/FreshConnection.h"
#include "ui_Main.h"

#include <QEvent>
#include <QPixmap>
#include <functional>

namespace {

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

// A field of the current row as text; empty when the result has no such
// field, there is no row, or the value is NULL.
QString CurrentText(const db::Query& rows, const QString& field)
{
    if (!rows.isOpen() || rows.currentRow() < 0 || !rows.hasField(field))
        return QString();
    return rows.text(field);
}

} // namespace

void TMainBox::ConnectAttachmentHandlers()
{
    Bind(ui->SpeedButton1, &QToolButton::clicked, &TMainBox::SpeedButton1Click);
    Bind(ui->SpeedButton2, &QToolButton::clicked, &TMainBox::SpeedButton2Click);
    Bind(ui->N2, &QAction::triggered, &TMainBox::N2Click);
    Bind(ui->E1, &QAction::triggered, &TMainBox::E1Click);
    Bind(ui->V1, &QAction::triggered, &TMainBox::V1Click);

    auto* openDocument = new DoubleClicks(this, [this] { Guarded([this] { ImgPDFDblClick(); }); });
    for (QLabel* icon : {ui->ImgOther, ui->ImgXLS, ui->ImgDoc, ui->ImgPDF})
        icon->installEventFilter(openDocument);
    ui->ImagePic->installEventFilter(
        new DoubleClicks(this, [this] { Guarded([this] { V1Click(); }); }));
}

void TMainBox::DataSourceMainDataChange()
{
    const QString documentName = CurrentText(ADOQueryMain, QStringLiteral("docname"));
    const QString pictureName = CurrentText(ADOQueryMain, QStringLiteral("picname"));
    AppState.CurrentDocumentName = Attachments::BareName(documentName);
    AppState.CurrentPictureName = Attachments::BareName(pictureName);

    if (AppState.HasDocumentColumns)
        ShowDocumentName(AppState.CurrentDocumentName);
    if (AppState.HasPictureColumns && !AppState.CurrentPictureName.isEmpty())
        LoadThumbnail();
    else
        ui->ImagePic->clear();
}

void TMainBox::ShowDocumentName(const QString& name)
{
    const QString extension = Attachments::DocumentExtension(name);
    QLabel* icon = ui->ImgOther;
    if (extension == QLatin1String(".doc"))
        icon = ui->ImgDoc;
    else if (extension == QLatin1String(".xls"))
        icon = ui->ImgXLS;
    else if (extension == QLatin1String(".pdf"))
        icon = ui->ImgPDF;
    else if (extension.isEmpty())
        icon = nullptr;

    ui->PnlFileName->setText(name.isEmpty() ? QStringLiteral("没有文件数据!") : name);
    for (QLabel* each : {ui->ImgOther, ui->ImgXLS, ui->ImgDoc, ui->ImgPDF})
        each->setVisible(each == icon);
}

void TMainBox::LoadThumbnail()
{
    // A row without an id has nothing stored yet.
    const QString key = Attachments::RowKey(ADOQueryMain);
    if (key.isEmpty()) {
        ui->ImagePic->clear();
        return;
    }
    FreshConnection fresh;
    db::Query& query = fresh.query();
    query.addSql(QStringLiteral("select picmin from  fid_Main where id=") + key);
    query.open();
    const std::optional<QImage> thumbnail = PictureHelper::storedThumbnail(
        this, query.eof() ? QByteArray() : query.bytes(QStringLiteral("picmin")));
    if (!thumbnail)
        return; // the operator cancelled: the area keeps what it showed
    // An empty or NULL thumbnail leaves the area blank.
    if (thumbnail->isNull())
        ui->ImagePic->clear();
    else
        ui->ImagePic->setPixmap(QPixmap::fromImage(*thumbnail));
}
