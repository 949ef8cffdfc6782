#include "Main.h"

#include "app/AppState.h"
#include "platform/shell/DesktopOpen.h"
#include "ui_Main.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLinearGradient>
#include <QPainter>
#include <QShowEvent>

TMainBox* MainBox = nullptr;

namespace {

QFont SongFont(int pixels, bool bold = false)
{
    QFont font;
    // SimSun where the desktop has it, otherwise a Chinese font that Linux desktops carry.
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void ApplyFonts(Ui::TMainBox& ui)
{
    const QFont toolFont = SongFont(12);
    for (QWidget* widget : std::initializer_list<QWidget*>{ui.ToolRow1, ui.ToolRow2,
                                                           ui.SpeedButton1, ui.SpeedButton2})
        widget->setFont(toolFont);

    ui.LabelTitle->setFont(SongFont(29, true));
    QPalette palette = ui.LabelTitle->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    ui.LabelTitle->setPalette(palette);
}

QList<grid::Column> OperatorColumns()
{
    return {
        {QStringLiteral("id"), QStringLiteral("用户序号"), 0, Qt::AlignCenter, Qt::black},
        {QStringLiteral("user_name"), QStringLiteral("用户帐号"), 120, Qt::AlignCenter, Qt::black},
        {QStringLiteral("user_alias"), QStringLiteral("用户名称"), 120, Qt::AlignCenter, Qt::black},
        {QStringLiteral("user_wr"), QStringLiteral("修改权限"), 80, Qt::AlignCenter, Qt::black},
    };
}

// The About page's background: light cyan at the top, pale pink in the
// middle, peach at the bottom.
void PaintAboutBackground(QWidget& page)
{
    QPainter painter(&page);
    QLinearGradient gradient(0, 0, 0, page.height());
    gradient.setColorAt(0.0, QColor(148, 252, 249));
    gradient.setColorAt(0.5, QColor(255, 221, 228));
    gradient.setColorAt(1.0, QColor(254, 194, 160));
    painter.fillRect(page.rect(), gradient);
}

constexpr QAbstractItemView::EditTriggers GridEditTriggers = QAbstractItemView::DoubleClicked |
                                                             QAbstractItemView::EditKeyPressed |
                                                             QAbstractItemView::AnyKeyPressed;

} // namespace

TMainBox::TMainBox(QWidget* parent)
    : QMainWindow(parent), DBGrid2Columns(OperatorColumns()), ui(std::make_unique<Ui::TMainBox>())
{
    MainBox = this;
    Q_INIT_RESOURCE(forms);
    ui->setupUi(this);
    setWindowState(Qt::WindowMaximized);
    ApplyFonts(*ui);

    for (std::size_t i = 0; i < m_statusPanels.size(); ++i) {
        m_statusPanels[i] = new QLabel(ui->StatusBar1);
        m_statusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    }
    m_statusPanels[0]->setFixedWidth(300);
    m_statusPanels[1]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ui->StatusBar1->addWidget(m_statusPanels[0]);
    ui->StatusBar1->addWidget(m_statusPanels[1], 1);

    ui->DBGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    ui->DBGrid2->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);

    // Qt drops the shortcuts of actions that live only in a hidden menu; Ins
    // and Ctrl+Del must act in the Data view even when the Data menu is hidden.
    addAction(ui->A1);
    addAction(ui->N5);

    connect(ui->ImagePic, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ui->PopupMenu1->popup(ui->ImagePic->mapToGlobal(pos)); });
    ui->TabSheet1->installEventFilter(this);

    Bind(ui->SpeedButton7, &QToolButton::clicked, &TMainBox::SpeedButton7Click);
    Bind(ui->A2, &QAction::triggered, &TMainBox::SpeedButton7Click);
    Bind(ui->SpeedButton10, &QToolButton::clicked, &TMainBox::SpeedButton10Click);
    Bind(ui->C1, &QAction::triggered, &TMainBox::SpeedButton10Click);
    Bind(ui->SpeedButton8, &QToolButton::clicked, &TMainBox::SpeedButton8Click);
    Bind(ui->x1, &QAction::triggered, &TMainBox::SpeedButton8Click);
    Bind(ui->U1, &QAction::triggered, &TMainBox::U1Click);
    ConnectBrowserHandlers();
    ConnectAttachmentHandlers();
    ConnectAdminHandlers();

    Guarded([this] { FormCreate(); });
}

TMainBox::~TMainBox()
{
    if (MainBox == this)
        MainBox = nullptr;
}

QLabel* TMainBox::StatusPanel(int index) const
{
    return m_statusPanels.at(static_cast<std::size_t>(index));
}

void TMainBox::ViewMode(int m)
{
    // The page area has no tabs: with every page hidden it stays empty until
    // the view below shows one.
    for (QWidget* page :
         std::initializer_list<QWidget*>{ui->TabSheet1, ui->TabSheet2, ui->TabSheet3})
        page->hide();
    for (QWidget* panel :
         std::initializer_list<QWidget*>{ui->PanelBitDB, ui->PanelPic, ui->PanelDoc, ui->PanelPage,
                                         ui->PanelUser, ui->PanelSearch})
        panel->hide();
    for (QAction* command : {ui->A1, ui->N5, ui->CSV1})
        command->setEnabled(false);

    ui->U1->setVisible(AppState.OperatorName == QLatin1String("root"));

    const bool canWrite = AppState.CanWrite;
    ui->D1->menuAction()->setVisible(canWrite);
    ui->DBGrid1->setEditTriggers(canWrite ? GridEditTriggers : QAbstractItemView::NoEditTriggers);
    ui->SpeedButton1->setVisible(canWrite);
    ui->N2->setVisible(canWrite);

    const auto showPage = [this](QWidget* page) {
        ui->PageControl1->setCurrentWidget(page);
        page->show();
    };
    switch (m) {
    case 1:
        showPage(ui->TabSheet1);
        ui->PanelSearch->show();
        break;
    case 2:
        showPage(ui->TabSheet2);
        ui->PanelPage->show();
        ui->PanelSearch->show();
        for (QAction* command : {ui->A1, ui->N5, ui->CSV1})
            command->setEnabled(true);
        ui->PanelBitDB->setVisible(AppState.HasPictureColumns || AppState.HasDocumentColumns);
        ui->PanelPic->setVisible(AppState.HasPictureColumns);
        ui->PanelDoc->setVisible(AppState.HasDocumentColumns);
        break;
    case 3:
        showPage(ui->TabSheet3);
        ui->PanelUser->show();
        break;
    default:
        break;
    }
}

void TMainBox::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { FormShow(); });
}

void TMainBox::FormShow()
{
    ViewMode(1);
}

void TMainBox::closeEvent(QCloseEvent* event)
{
    Guarded([this] { FormCloseQuery(); });
    event->accept();
}

// Empties the temp folder of attachments opened for viewing. A file that
// cannot be deleted stays, and so does the folder then; nothing is reported.
void TMainBox::FormCloseQuery()
{
    const QString folder = AppState.ProgramFolder + QStringLiteral("temp");
    const QDir dir(folder);
    // Ordinary files only: no subfolders, no hidden or system files.
    for (const QString& name : dir.entryList(QDir::Files))
        QFile::remove(dir.filePath(name));
    QDir().rmdir(folder);
}

void TMainBox::SpeedButton7Click()
{
    ViewMode(1);
    StatusPanel(0)->clear();
}

void TMainBox::SpeedButton8Click()
{
    close();
}

// The manual beside the program; the desktop reports its own failures.
void TMainBox::SpeedButton10Click()
{
    DesktopOpen::open(AppState.ProgramFolder + QStringLiteral("help.doc"));
}

void TMainBox::U1Click()
{
    ViewMode(3);
    ShowAllUserClick();
}

// Centres the heading across the About page, a third of the way down.
void TMainBox::TabSheet1Resize()
{
    const QWidget* page = ui->TabSheet1;
    QLabel* heading = ui->LabelTitle;
    heading->move((page->width() - heading->width()) / 2, (page->height() - heading->height()) / 3);
}

bool TMainBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->TabSheet1) {
        if (event->type() == QEvent::Resize)
            Guarded([this] { TabSheet1Resize(); });
        else if (event->type() == QEvent::Paint)
            PaintAboutBackground(*ui->TabSheet1);
    }
    return QMainWindow::eventFilter(watched, event);
}
