#include "BrowseText.h"

QString BrowseHead(int pageSize, const QString& columnList)
{
    return QStringLiteral("SELECT TOP ") + QString::number(pageSize) + QStringLiteral(" id,") +
           columnList + QStringLiteral(" FROM fid_Main ");
}

QString SkipClause(int pageSize, int pageIndex, const QString& condition)
{
    if (pageIndex <= 0)
        return QString();
    // The product is taken in 64 bits: a huge page size on a late page would
    // otherwise wrap around to a negative TOP.
    const qint64 skipped = static_cast<qint64>(pageSize) * pageIndex;
    return QStringLiteral(" AND (ID >(SELECT MAX(id) FROM (SELECT TOP ") +
           QString::number(skipped) + QStringLiteral(" id  FROM fid_Main ") + condition +
           QStringLiteral(" ORDER BY id) AS T))  ");
}

int PageCountFor(int recordCount, int pageSize)
{
    if (pageSize <= 0)
        return 0;
    return recordCount / pageSize + (recordCount % pageSize != 0 ? 1 : 0);
}

QString PageStatus(int pageSize, int recordCount, int pageIndex, int pageCount)
{
    return QStringLiteral("  每页") + QString::number(pageSize) + QStringLiteral("条,共") +
           QString::number(recordCount) + QStringLiteral("条记录") + QStringLiteral(" 当前") +
           QString::number(pageIndex + 1) + QStringLiteral("页,共") + QString::number(pageCount) +
           QStringLiteral("页");
}
