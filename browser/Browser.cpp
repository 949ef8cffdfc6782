#include "RecordColumns.h"
#include "app/Main.h"
#include "platform/grid/DataGrid.h"
#include "ui_Main.h"

#include <QCloseEvent>

namespace {

// Nothing typed into the record grid is lost when the window closes: the
// pending row is posted first, and a row that cannot be posted keeps the
// window open with its error reported.
class PostBeforeClose final : public QObject
{
public:
    explicit PostBeforeClose(TMainBox& box) : QObject(&box), m_box(box) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &m_box || event->type() != QEvent::Close)
            return false;
        bool posted = false;
        Guarded([this, &posted] {
            m_box.DataSourceMain->postPending();
            posted = true;
        });
        if (posted)
            return false;
        event->ignore();
        return true;
    }

private:
    TMainBox& m_box;
};

} // namespace

void ShowRecordColumns(TMainBox& box)
{
    box.DataSourceMain->setColumns(box.DBGrid1Columns);
}

void TMainBox::ConnectBrowserHandlers()
{
    DataSourceMain = new grid::DataGrid(*ui->DBGrid1, ADOQueryMain, this);
    DataSourceMain->setObjectName(QStringLiteral("DataSourceMain"));
    DataSourceMain->setGuard([](const std::function<void()>& action) { Guarded(action); });
    Bind(DataSourceMain, &grid::DataGrid::dataChange, &TMainBox::DataSourceMainDataChange);
    connect(DataSourceMain, &grid::DataGrid::titleClicked, this,
            [this](int column) { Guarded([this, column] { DBGrid1TitleClick(column); }); });
    installEventFilter(new PostBeforeClose(*this));

    Bind(ui->SpeedButton3, &QToolButton::clicked, &TMainBox::SpeedButton3Click);
    Bind(ui->PageUp, &QToolButton::clicked, &TMainBox::PageUpClick);
    Bind(ui->PageDown, &QToolButton::clicked, &TMainBox::PageDownClick);
    Bind(ui->Com11, &QComboBox::currentIndexChanged, &TMainBox::Com11Change);
    Bind(ui->SpeedButton6, &QToolButton::clicked, &TMainBox::SpeedButton6Click);
    connect(ui->EKey, &QLineEdit::returnPressed, this,
            [this] { Guarded([this] { EKeyKeyPress(QChar(13)); }); });
    Bind(ui->A1, &QAction::triggered, &TMainBox::A1Click);
    Bind(ui->N5, &QAction::triggered, &TMainBox::N5Click);
    Bind(ui->CSV1, &QAction::triggered, &TMainBox::CSV1Click);
}
