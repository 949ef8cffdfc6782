#include "RecordColumns.h"
#include "app/AppState.h"
#include "app/Main.h"
#include "platform/grid/DataGrid.h"

// Sorts the matching records by the clicked column, the direction flipping
// from one click to the next, and shows the first page of them. The sorted
// column's title turns red.
void TMainBox::DBGrid1TitleClick(int column)
{
    if (column < 0 || column >= DBGrid1Columns.size())
        return;
    DataSourceMain->postPending();
    const QString name = DBGrid1Columns.at(column).fieldName;
    BrowseState& browse = AppState.Browse;
    if (browse.Order.right(4) == QLatin1String("desc"))
        browse.Order = QStringLiteral(" order by ") + name;
    else
        browse.Order = QStringLiteral(" order by ") + name + QStringLiteral(" desc");
    browse.Statement = browse.Head + browse.Condition + browse.Order;
    RunStatement();
    for (grid::Column& each : DBGrid1Columns)
        each.titleColor = Qt::black;
    DBGrid1Columns[column].titleColor = QColor(255, 0, 0);
    ShowRecordColumns(*this);
}
