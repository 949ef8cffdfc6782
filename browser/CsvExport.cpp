#include "BusyCursor.h"
#include "CsvFile.h"
#include "app/Main.h"
#include "common/FileDialogs.h"
#include "common/MessageBox.h"
#include "common/ShortDate.h"
#include "platform/grid/DataGrid.h"

#include <QDate>

// Writes the loaded page as a CSV table: a header of the column titles, then
// one line per row, every value followed by a comma and quoted only when it
// holds a comma, a double quote or a line break. Columns follow the order the
// operator sees in the grid.
void TMainBox::CSV1Click()
{
    FileDialogs::Request request;
    request.kind = FileDialogs::Kind::Save;
    request.presetName = ShortDate(QDate::currentDate()) + QStringLiteral("导出表");
    const QString chosen = FileDialogs::Choose(this, request);
    if (chosen.isEmpty())
        return;

    // A row still being typed belongs to the page.
    DataSourceMain->postPending();
    if (ADOQueryMain.recordCount() == 0)
        return;

    const grid::QueryTableModel& model = DataSourceMain->model();
    const QList<int> columns = DataSourceMain->visualColumns();
    QStringList lines;
    QString header;
    for (const int column : columns)
        header += CsvField(model.columns().at(column).title) + QLatin1Char(',');
    lines.append(header);
    for (int row = 0; row < ADOQueryMain.recordCount(); ++row) {
        QString line;
        for (const int column : columns) {
            const int position = model.fieldPosition(column);
            if (position >= 0)
                line += CsvField(grid::editText(ADOQueryMain.rowValue(row, position)));
            line += QLatin1Char(',');
        }
        lines.append(line);
    }

    const BusyCursor busy;
    const QString failure = SaveCsvLines(CsvFileName(chosen), lines);
    DataSourceMain->setCurrentRow(0);
    if (!failure.isEmpty()) {
        MessageBox::Show(QStringLiteral("CSV文件保存失败: ") + failure, MessageBox::Ok);
        return;
    }
    MessageBox::Show(QStringLiteral("CSV电子表格文件成功导出!"), MessageBox::Ok);
}
