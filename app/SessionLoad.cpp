#include "SessionLoad.h"

#include "common/SqlText.h"
#include "platform/db/Query.h"
#include "platform/paths/ProgramPaths.h"
#include "signin/Settings.h"

#include <QStringList>
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

void SessionLoad::readSettings()
{
    const ConnectionSettings settings = ReadConnectionSettings();
    m_session.operatorName = settings.dbuser;
    m_session.connectionString =
        BuildConnectionString(settings.host, settings.database, settings.user, settings.password);
    m_session.programFolder = ProgramPaths::folder();
}

Catalogue SessionLoad::readCatalogue(db::Query& query)
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
    return catalogue;
}

QString SessionLoad::readOperator(db::Query& query)
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
    return alias;
}

QString SessionLoad::readTitle(db::Query& query)
{
    query.setSql(QStringLiteral("select parameter from fid_set where options='title'"));
    query.open();
    const QString title = query.eof() ? QString() : query.text(0);
    return title.isEmpty() ? QStringLiteral("Vardenix") : title;
}

void SessionLoad::readPageSize(db::Query& query)
{
    // Paging divides by the page size, so only a positive number is taken.
    query.setSql(QStringLiteral("select parameter from fid_set where options='pagesize'"));
    query.open();
    bool isNumber = false;
    const int pageSize = query.eof() ? 0 : query.text(0).toInt(&isNumber);
    m_session.pageSize = isNumber && pageSize > 0 ? pageSize : 50;
}

void SessionLoad::setPageSize(int pageSize)
{
    m_session.pageSize = pageSize;
}
