#include "BrowseText.h"
#include "BusyCursor.h"
#include "RecordColumns.h"
#include "app/AppState.h"
#include "app/Main.h"
#include "common/FreshConnection.h"
#include "platform/grid/DataGrid.h"
#include "ui_Main.h"

// Loads the first page of all records in id order; ends any search and sort.
void TMainBox::SpeedButton3Click()
{
    DataSourceMain->postPending();
    ViewMode(2);
    BrowseState& browse = AppState.Browse;
    browse.PageIndex = 0;
    browse.Head = BrowseHead(AppState.PageSize, AppState.ColumnList);
    browse.Condition = QStringLiteral("WHERE (1=1)");
    browse.Order = QStringLiteral(" ORDER BY id ");
    browse.SkipClause = SkipClause(AppState.PageSize, browse.PageIndex, browse.Condition);
    browse.Statement = browse.Head + browse.Condition + browse.SkipClause + browse.Order;
    LoadFirstPage();
    // No column is the sort column any more.
    for (grid::Column& column : DBGrid1Columns)
        column.titleColor = Qt::black;
    ShowRecordColumns(*this);
}

// A click at the last page reloads it and disables the button.
void TMainBox::PageDownClick()
{
    DataSourceMain->postPending();
    BrowseState& browse = AppState.Browse;
    if (browse.PageIndex < browse.PageCount - 1)
        ++browse.PageIndex;
    else
        ui->PageDown->setEnabled(false);
    if (browse.PageIndex > 0)
        ui->PageUp->setEnabled(true);
    LoadPage();
}

// A click at the first page reloads it and disables the button.
void TMainBox::PageUpClick()
{
    DataSourceMain->postPending();
    BrowseState& browse = AppState.Browse;
    if (browse.PageIndex > 0)
        --browse.PageIndex;
    else
        ui->PageUp->setEnabled(false);
    if (browse.PageIndex < browse.PageCount)
        ui->PageDown->setEnabled(true);
    LoadPage();
}

// Loads the page of the browse statement that PageIndex names.
void TMainBox::LoadPage()
{
    BrowseState& browse = AppState.Browse;
    browse.SkipClause = SkipClause(AppState.PageSize, browse.PageIndex, browse.Condition);
    browse.Statement = browse.Head + browse.Condition + browse.SkipClause + browse.Order;
    RunStatement();
    PageStatusText();
}

// Loads the first page of the browse statement with both paging buttons
// enabled, and counts the matching records for the status line.
void TMainBox::LoadFirstPage()
{
    BrowseState& browse = AppState.Browse;
    RunStatement();
    ui->PageUp->setEnabled(true);
    ui->PageDown->setEnabled(true);
    browse.RecordCount = CountRecords(browse.Condition);
    browse.PageCount = PageCountFor(browse.RecordCount, AppState.PageSize);
    PageStatusText();
}

// Counts the matching records on a connection of its own.
int TMainBox::CountRecords(const QString& condition)
{
    const BusyCursor busy;
    FreshConnection work;
    db::Query& query = work.query();
    query.close();
    query.clearSql();
    query.addSql(QStringLiteral("select id from  fid_Main ") + condition);
    return query.countRows();
}

// Reloads the record grid with the browse statement. Whatever is pending in
// the grid is posted first; when that fails the page is not reloaded.
void TMainBox::RunStatement()
{
    const BusyCursor busy;
    ShowRecordColumns(*this);
    DataSourceMain->setReadOnly(!AppState.CanWrite);
    DataSourceMain->reopen([this] {
        ADOQueryMain.close();
        ADOQueryMain.clearSql();
        ADOQueryMain.addSql(AppState.Browse.Statement);
        ADOQueryMain.open();
    });
}

void TMainBox::PageStatusText()
{
    const BrowseState& browse = AppState.Browse;
    StatusPanel(0)->setText(
        PageStatus(AppState.PageSize, browse.RecordCount, browse.PageIndex, browse.PageCount));
}
