#include "app/AppState.h"
#include "app/Main.h"
#include "common/MessageBox.h"
#include "platform/grid/DataGrid.h"

// Appends a blank row to the grid; it is written when the operator leaves it
// and dropped when left untouched.
void TMainBox::A1Click()
{
    if (ADOQueryMain.isOpen())
        DataSourceMain->appendRow();
}

// Deletes the current record after the operator confirms.
void TMainBox::N5Click()
{
    if (!ADOQueryMain.isOpen() || !AppState.CanWrite || DataSourceMain->currentRow() < 0)
        return;
    if (MessageBox::Show(QStringLiteral("你真的要删除该笔记录吗?"), MessageBox::YesNo) !=
        MessageBox::IdYes)
        return;
    DataSourceMain->deleteCurrentRow();
}
