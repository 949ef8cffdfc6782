#include "BrowseText.h"
#include "SearchCondition.h"
#include "app/AppState.h"
#include "app/Main.h"
#include "common/MessageBox.h"
#include "platform/grid/DataGrid.h"
#include "ui_Main.h"

void TMainBox::Com11Change()
{
    AppState.Browse.SearchColumn =
        QStringLiteral("f_") + QString::number(ui->Com11->currentIndex() + 1);
}

// Filters the records by the chosen column and loads the first page of the
// matches; a sort in force stays.
void TMainBox::SpeedButton6Click()
{
    if (ui->Com11->currentText().isEmpty() || ui->Com12->currentText().isEmpty()) {
        MessageBox::Show(QStringLiteral("搜索信息必须输入必要的条件!"), MessageBox::Ok);
        return;
    }
    DataSourceMain->postPending();
    BrowseState& browse = AppState.Browse;
    browse.Condition =
        SearchCondition(browse.SearchColumn, ui->Com12->currentText(), ui->EKey->text());
    browse.PageIndex = 0;
    browse.SkipClause = SkipClause(AppState.PageSize, browse.PageIndex, browse.Condition);
    browse.Head = BrowseHead(AppState.PageSize, AppState.ColumnList);
    // A blank keeps a number at the condition's end apart from "order".
    if (browse.Order.isEmpty())
        browse.Order = QStringLiteral(" order by id ");
    browse.Statement = browse.Head + browse.Condition + browse.SkipClause + browse.Order;
    ViewMode(2);
    LoadFirstPage();
}

// Enter in the key box searches.
void TMainBox::EKeyKeyPress(QChar key)
{
    if (key == QChar(13))
        SpeedButton6Click();
}
