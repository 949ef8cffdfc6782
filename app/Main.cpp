#include "Main.h"

#include "admin/OperatorAdmin.h"
#include "attachments/AttachmentStrip.h"
#include "attachments/TempFolder.h"
#include "browser/RecordBrowser.h"
#include "common/ApplicationTitle.h"
#include "common/ErrorReport.h"
#include "common/FreshConnection.h"
#include "platform/shell/DesktopOpen.h"
#include "ui_Main.h"

#include <QCloseEvent>
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

TMainBox::TMainBox(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TMainBox>())
{
    MainBox = this;
    Q_INIT_RESOURCE(forms);
    ui->setupUi(this);
    setWindowState(Qt::WindowMaximized);
    ApplyFonts(*ui);

    for (std::size_t i = 0; i < m_statusPanels.size(); ++i) {
        m_statusPanels[i] = new QLabel(ui->StatusBar1);
        m_statusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        // The operator's name comes from the database: never markup.
        m_statusPanels[i]->setTextFormat(Qt::PlainText);
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

    ConnectGuarded(ui->SpeedButton7, &QToolButton::clicked, this, &TMainBox::showAbout);
    ConnectGuarded(ui->A2, &QAction::triggered, this, &TMainBox::showAbout);
    ConnectGuarded(ui->SpeedButton10, &QToolButton::clicked, this, &TMainBox::openManual);
    ConnectGuarded(ui->C1, &QAction::triggered, this, &TMainBox::openManual);
    ConnectGuarded(ui->SpeedButton8, &QToolButton::clicked, this, &TMainBox::closeWindow);
    ConnectGuarded(ui->x1, &QAction::triggered, this, &TMainBox::closeWindow);
    ConnectGuarded(ui->U1, &QAction::triggered, this, &TMainBox::showOperators);
    makeSubsystems();

    Guarded([this] { loadSession(); });
}

TMainBox::~TMainBox()
{
    if (MainBox == this)
        MainBox = nullptr;
}

void TMainBox::makeSubsystems()
{
    m_browser = new RecordBrowser({ui->DBGrid1, ui->Com11, ui->Com12, ui->EKey, ui->SpeedButton3,
                                   ui->SpeedButton6, ui->PageUp, ui->PageDown, ui->A1, ui->N5,
                                   ui->CSV1, StatusPanel(0)},
                                  m_load.session(), m_connection, *this);
    m_strip = new AttachmentStrip({ui->PnlFileName, ui->ImgDoc, ui->ImgXLS, ui->ImgPDF,
                                   ui->ImgOther, ui->ImagePic, ui->SpeedButton1, ui->SpeedButton2,
                                   ui->N2, ui->E1, ui->V1},
                                  m_load.session(), *m_browser, *this);
    m_admin = new OperatorAdmin({ui->DBGrid2, ui->ShowAllUser, ui->SpeedButton4, ui->SpeedButton5,
                                 ui->SpeedButton11, ui->SpeedButton9},
                                m_load.session(), m_connection, *this);

    connect(m_browser, &RecordBrowser::dataViewWanted, this, [this] { showView(2); });
    connect(m_admin, &OperatorAdmin::pageSizeChosen, this,
            [this](int pageSize) { m_load.setPageSize(pageSize); });
    // Either grid's moves refresh the strip.
    ConnectGuarded(m_browser, &RecordBrowser::currentRowChanged, m_strip,
                   &AttachmentStrip::showCurrentRecord);
    ConnectGuarded(m_admin, &OperatorAdmin::currentRowChanged, m_strip,
                   &AttachmentStrip::showCurrentRecord);
}

QLabel* TMainBox::StatusPanel(int index) const
{
    return m_statusPanels.at(static_cast<std::size_t>(index));
}

void TMainBox::showView(int m)
{
    ui->U1->setVisible(m_load.session().isRoot());

    const bool canWrite = m_load.session().canWrite;
    ui->D1->menuAction()->setVisible(canWrite);
    ui->DBGrid1->setEditTriggers(canWrite ? GridEditTriggers : QAbstractItemView::NoEditTriggers);
    ui->SpeedButton1->setVisible(canWrite);
    ui->N2->setVisible(canWrite);

    // Each page and panel is set once to what the view shows, so that asking
    // for the view already shown (every browse does) changes nothing on
    // screen. The page area has no tabs: with no page shown it stays empty.
    const QList<QWidget*> pages{ui->TabSheet1, ui->TabSheet2, ui->TabSheet3};
    QWidget* const shown = m >= 1 && m <= pages.size() ? pages.at(m - 1) : nullptr;
    if (shown)
        ui->PageControl1->setCurrentWidget(shown);
    for (QWidget* page : pages)
        page->setVisible(page == shown);

    const bool data = m == 2;
    ui->PanelSearch->setVisible(m == 1 || data);
    ui->PanelPage->setVisible(data);
    ui->PanelUser->setVisible(m == 3);
    ui->PanelBitDB->setVisible(data && (m_catalogue.hasPictures || m_catalogue.hasDocuments));
    ui->PanelPic->setVisible(data && m_catalogue.hasPictures);
    ui->PanelDoc->setVisible(data && m_catalogue.hasDocuments);
    for (QAction* command : {ui->A1, ui->N5, ui->CSV1})
        command->setEnabled(data);
}

// Loads what the window needs from the settings file and the database: the
// connection, the column catalogue, the operator's rights and the options.
// A failure ends the load at that step; the window opens all the same.
void TMainBox::loadSession()
{
    m_load.readSettings();
    // Copies left by a run that ended without closing its window.
    TempFolder::Clean(m_load.session().tempFolder());
    const QString& connectionString = m_load.session().connectionString;
    m_catalogue = Catalogue();

    // Connected later, by the first grid that needs it.
    m_connection.disconnect();
    m_connection.setConnectionString(connectionString);

    FreshConnection work(connectionString);
    showCatalogue(SessionLoad::readCatalogue(work.query()));
    showOperator(m_load.readOperator(work.query()));
    showTitle(SessionLoad::readTitle(work.query()));
    m_load.readPageSize(work.query());
}

void TMainBox::showCatalogue(const Catalogue& catalogue)
{
    m_catalogue = catalogue;
    m_browser->showCatalogue(m_catalogue);
    m_strip->setGroups(m_catalogue.hasPictures, m_catalogue.hasDocuments);
}

void TMainBox::showOperator(const QString& alias)
{
    StatusPanel(1)->setText(QStringLiteral("当前用户:") + alias +
                            (m_load.session().canWrite ? QStringLiteral(",具有读取修改权限!")
                                                       : QStringLiteral(",具有只读权限!")));
}

// The title lives in the application's name, which the error report and the
// settings dialog read.
void TMainBox::showTitle(const QString& title)
{
    SetApplicationTitle(title);
    setWindowTitle(title);
    ui->LabelTitle->setText(title);
    ui->LabelTitle->adjustSize();
}

void TMainBox::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // The window opens on the About view.
    if (!event->spontaneous())
        Guarded([this] { showView(1); });
}

void TMainBox::closeEvent(QCloseEvent* event)
{
    Guarded([this] { cleanTempFolder(); });
    event->accept();
}

// Empties the temp folder of attachments opened for viewing, when it is the
// operator's own. A file that cannot be deleted stays, and so does the
// folder then; nothing is reported.
void TMainBox::cleanTempFolder()
{
    TempFolder::Clean(m_load.session().tempFolder());
}

void TMainBox::showAbout()
{
    showView(1);
    StatusPanel(0)->clear();
}

void TMainBox::closeWindow()
{
    close();
}

// The manual beside the program; the desktop reports its own failures.
void TMainBox::openManual()
{
    DesktopOpen::open(m_load.session().programFolder + QStringLiteral("help.doc"));
}

void TMainBox::showOperators()
{
    showView(3);
    m_admin->listOperators();
}

// Centres the heading across the About page, a third of the way down.
void TMainBox::centreHeading()
{
    const QWidget* page = ui->TabSheet1;
    QLabel* heading = ui->LabelTitle;
    heading->move((page->width() - heading->width()) / 2, (page->height() - heading->height()) / 3);
}

bool TMainBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->TabSheet1) {
        if (event->type() == QEvent::Resize)
            Guarded([this] { centreHeading(); });
        else if (event->type() == QEvent::Paint)
            PaintAboutBackground(*ui->TabSheet1);
    }
    return QMainWindow::eventFilter(watched, event);
}
