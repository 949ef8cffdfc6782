#include "Main.h"
#include "attachments/AttachmentStrip.h"
#include "browser/RecordBrowser.h"
#include "common/ApplicationTitle.h"
#include "common/FreshConnection.h"
#include "common/SqlText.h"
#include "platform/paths/ProgramPaths.h"
#include "signin/Settings.h"
#include "ui_Main.h"

#include <QLabel>
#include <algorithm>

namespace {

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
    m_session.operatorName = settings.dbuser;
    m_session.connectionString =
        BuildConnectionString(settings.host, settings.database, settings.user, settings.password);
    m_session.programFolder = ProgramPaths::folder();
    m_catalogue = Catalogue();

    // Connected later, by the first grid that needs it.
    m_connection.disconnect();
    m_connection.setConnectionString(m_session.connectionString);

    FreshConnection work(m_session.connectionString);
    loadCatalogue(work.query());
    loadOperator(work.query());
    loadOptions(work.query());
}

// fid_title lists the data columns in design order, then the "pic" and
// "dbfile" markers of the attachment groups that exist.
void TMainBox::loadCatalogue(db::Query& query)
{
    query.setSql(QStringLiteral("SELECT * FROM fid_title where clength>0"));
    query.open();

    Catalogue catalogue;
    QStringList columnList;
    for (int n = 1; !query.eof(); query.next(), ++n) {
        const QString title = query.text(QStringLiteral("title"));
        if (title == QLatin1String("pic")) {
            columnList << QStringLiteral("picname");
            catalogue.hasPictures = true;
        } else if (title == QLatin1String("dbfile")) {
            columnList << QStringLiteral("docname");
            catalogue.hasDocuments = true;
        } else {
            const QString field = QStringLiteral("f_") + QString::number(n);
            catalogue.columns.append(
                {field, title, ColumnWidth(query.text(QStringLiteral("cLength")))});
            columnList << field;
        }
    }
    catalogue.columnList = columnList.join(QLatin1Char(','));
    m_catalogue = catalogue;
    m_browser->showCatalogue(m_catalogue);
    m_strip->setGroups(m_catalogue.hasPictures, m_catalogue.hasDocuments);
}

void TMainBox::loadOperator(db::Query& query)
{
    query.setSql(QStringLiteral("select id,user_alias,user_wr from fid_user where user_name='") +
                 QuoteDoubled(m_session.operatorName) + QLatin1Char('\''));
    query.open();

    // No matching row reads as an empty alias without the right.
    QString alias;
    QString right;
    if (!query.eof()) {
        alias = query.text(QStringLiteral("user_alias"));
        right = query.text(QStringLiteral("user_wr"));
    }
    m_session.canWrite = right == QLatin1String("1");
    StatusPanel(1)->setText(QStringLiteral("当前用户:") + alias +
                            (m_session.canWrite ? QStringLiteral(",具有读取修改权限!")
                                                : QStringLiteral(",具有只读权限!")));
}

void TMainBox::loadOptions(db::Query& query)
{
    query.setSql(QStringLiteral("select parameter from fid_set where options='title'"));
    query.open();
    QString title = query.eof() ? QString() : query.text(0);
    if (title.isEmpty())
        title = QStringLiteral("Vardenix");
    m_session.title = title;
    SetApplicationTitle(title);
    setWindowTitle(title);
    ui->LabelTitle->setText(title);
    ui->LabelTitle->adjustSize();

    // Paging divides by the page size, so only a positive number is taken.
    query.setSql(QStringLiteral("select parameter from fid_set where options='pagesize'"));
    query.open();
    bool isNumber = false;
    const int pageSize = query.eof() ? 0 : query.text(0).toInt(&isNumber);
    m_session.pageSize = isNumber && pageSize > 0 ? pageSize : 50;
}
