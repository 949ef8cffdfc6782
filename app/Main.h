#pragma once

#include "common/ErrorReport.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/grid/Column.h"

#include <QList>
#include <QMainWindow>
#include <QString>
#include <array>
#include <memory>

class QLabel;

namespace grid {
class DataGrid;
}

namespace Ui {
class TMainBox;
}

// The main window: toolbar, attachment strip, the About, Data and Users
// views, menu and status bar. Its handlers are spread over the folders of the
// subsystems they belong to; this file holds the frame.
class TMainBox final : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainBox(QWidget* parent = nullptr);
    ~TMainBox() override;

    // The window's own connection, which the record and operator grids use;
    // it connects on first use.
    db::Connection ADOConnMain;
    db::Query ADOQueryMain{ADOConnMain};
    db::Query ADOQueryUser{ADOConnMain};

    // Columns of the record grid, one per data column of the catalogue, and
    // the fixed columns of the operator grid.
    QList<grid::Column> DBGrid1Columns;
    const QList<grid::Column> DBGrid2Columns;

    // Panel 0 of StatusBar1 holds the paging line, panel 1 the operator line.
    QLabel* StatusPanel(int index) const;

    // Shows view 1 (About), 2 (Data) or 3 (Users) with the controls this
    // operator may use; every call rebuilds the whole state.
    void ViewMode(int m);

    void FormCreate();
    void FormShow();
    void FormCloseQuery();
    void SpeedButton7Click();
    void SpeedButton8Click();
    void SpeedButton10Click();
    void U1Click();
    void TabSheet1Resize();

    // Record browser (browser/).
    // -- browser handlers begin
    void SpeedButton3Click();
    void PageUpClick();
    void PageDownClick();
    void Com11Change();
    void SpeedButton6Click();
    void EKeyKeyPress(QChar key);
    void DBGrid1TitleClick(int column);
    void A1Click();
    void N5Click();
    void CSV1Click();
    int CountRecords(const QString& condition);
    void RunStatement();
    void LoadPage();
    void LoadFirstPage();
    void PageStatusText();

    // The record grid's data source: DBGrid1 over ADOQueryMain, made by
    // ConnectBrowserHandlers.
    grid::DataGrid* DataSourceMain = nullptr;
    // -- browser handlers end

    // Attachment strip, documents and pictures (attachments/).
    // -- attachment handlers begin
    // Refreshes the strip from the record grid's current row; called on every
    // move, page load and field change of either grid. It throws when the
    // thumbnail cannot be fetched, so callers enter it through Guarded.
    void DataSourceMainDataChange();
    void ShowDocumentName(const QString& name);
    void LoadThumbnail();
    void SpeedButton1Click(); // document import
    void SpeedButton2Click(); // document export
    void ImgPDFDblClick();    // document open
    void N2Click();           // picture import
    void E1Click();           // picture export
    void V1Click();           // picture view
    // -- attachment handlers end

    // Operators and settings (admin/).
    // -- admin handlers begin
    void ShowAllUserClick();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton11Click();
    void SpeedButton9Click();

    // The operator grid's data source: DBGrid2 over ADOQueryUser, made by
    // ConnectAdminHandlers.
    grid::DataGrid* DataSourceUser = nullptr;
    // -- admin handlers end

    // Connects a signal to a handler so that whatever the handler throws
    // reaches the standard error report instead of the event loop.
    template <typename Sender, typename Signal>
    void Bind(Sender* sender, Signal signal, void (TMainBox::*handler)())
    {
        connect(sender, signal, this,
                [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Each subsystem connects the controls it owns.
    void ConnectBrowserHandlers();
    void ConnectAttachmentHandlers();
    void ConnectAdminHandlers();

    void LoadCatalogue(db::Query& query);
    void LoadOperator(db::Query& query);
    void LoadOptions(db::Query& query);

    std::unique_ptr<Ui::TMainBox> ui;
    std::array<QLabel*, 2> m_statusPanels{};
};

extern TMainBox* MainBox;
