#include "Main.h"
#include "app/AppState.h"
#include "common/ApplicationTitle.h"
#include "common/FreshConnection.h"
#include "common/SqlText.h"
#include "platform/paths/ProgramPaths.h"
#include "signin/Settings.h"
#include "ui_Main.h"

#include <QLabel>
#include <QSignalBlocker>
#include <algorithm>

namespace {

// Each statement replaces the previous one on the same query.
void Reopen(db::Query& query, const QString& statement)
{
    query.close();
    query.clearSql();
    query.addSql(statement);
    query.open();
}

// Grid width of a data column: five pixels per unit of its designed length,
// within 60 to 180; 60 when the length is not a number.
int ColumnWidth(const QString& lengthText)
{
    bool isNumber = false;
    const qint64 length = lengthText.toInt(&isNumber);
    if (!isNumber)
        return 60;
    return static_cast<int>(std::clamp<qint64>(length * 5, 60, 180));
}

} // namespace

// Loads what the window needs from the settings file and the database: the
// connection, the column catalogue, the operator's rights and the options.
// A failure ends the load at that step; the window opens all the same.
void TMainBox::FormCreate()
{
    const ConnectionSettings settings = ReadConnectionSettings();
    AppState.OperatorName = settings.dbuser;
    AppState.ConnectionString =
        BuildConnectionString(settings.host, settings.database, settings.user, settings.password);
    AppState.ProgramFolder = ProgramPaths::folder();
    AppState.HasDocumentColumns = false;
    AppState.HasPictureColumns = false;

    // Connected later, by the first grid that needs it.
    ADOConnMain.disconnect();
    ADOConnMain.setConnectionString(AppState.ConnectionString);

    {
        FreshConnection work;
        LoadCatalogue(work.query());
        LoadOperator(work.query());
        LoadOptions(work.query());
    }

    if (AppState.ColumnList.endsWith(QLatin1Char(',')))
        AppState.ColumnList.chop(1);
}

// fid_title lists the data columns in design order, then the "pic" and
// "dbfile" markers of the attachment groups that exist.
void TMainBox::LoadCatalogue(db::Query& query)
{
    Reopen(query, QStringLiteral("SELECT * FROM fid_title where clength>0"));

    DBGrid1Columns.clear();
    int n = 1;
    AppState.ColumnList.clear();
    // Refilling the list is no change of the operator's choice.
    const QSignalBlocker quiet(ui->Com11);
    ui->Com11->clear();

    while (!query.eof()) {
        const QString title = query.text(QStringLiteral("title"));
        const QString field = QStringLiteral("f_") + QString::number(n);
        if (title == QLatin1String("pic")) {
            AppState.ColumnList += QStringLiteral("picname,");
            AppState.HasPictureColumns = true;
        } else if (title == QLatin1String("dbfile")) {
            AppState.ColumnList += QStringLiteral("docname,");
            AppState.HasDocumentColumns = true;
        } else {
            grid::Column column;
            column.fieldName = field;
            column.title = title;
            column.titleAlignment = Qt::AlignCenter;
            column.width = ColumnWidth(query.text(QStringLiteral("cLength")));
            DBGrid1Columns.append(column);
            ui->Com11->addItem(title);
            ui->Com11->setCurrentIndex(-1);
            AppState.ColumnList += field + QLatin1Char(',');
        }
        query.next();
        ++n;
    }
}

void TMainBox::LoadOperator(db::Query& query)
{
    Reopen(query, QStringLiteral("select id,user_alias,user_wr from fid_user where user_name='") +
                      QuoteDoubled(AppState.OperatorName) + QLatin1Char('\''));

    // No matching row reads as an empty alias without the right.
    QString alias;
    QString right;
    if (!query.eof()) {
        alias = query.text(QStringLiteral("user_alias"));
        right = query.text(QStringLiteral("user_wr"));
    }
    AppState.CanWrite = right == QLatin1String("1");
    StatusPanel(1)->setText(QStringLiteral("当前用户:") + alias +
                            (AppState.CanWrite ? QStringLiteral(",具有读取修改权限!")
                                               : QStringLiteral(",具有只读权限!")));
}

void TMainBox::LoadOptions(db::Query& query)
{
    Reopen(query, QStringLiteral("select parameter from fid_set where options='title'"));
    QString title = query.eof() ? QString() : query.text(0);
    if (title.isEmpty())
        title = QStringLiteral("Vardenix");
    SetApplicationTitle(title);
    setWindowTitle(title);
    ui->LabelTitle->setText(title);
    ui->LabelTitle->adjustSize();

    // Paging divides by the page size, so only a positive number is taken.
    Reopen(query, QStringLiteral("select parameter from fid_set where options='pagesize'"));
    bool isNumber = false;
    const int pageSize = query.eof() ? 0 : query.text(0).toInt(&isNumber);
    AppState.PageSize = isNumber && pageSize > 0 ? pageSize : 50;
}
