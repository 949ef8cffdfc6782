#include "BrowseStatement.h"

#include "BrowseText.h"

void BrowseStatement::browseAll(int pageSize, const QString& columnList)
{
    m_head = BrowseHead(pageSize, columnList);
    m_condition = QStringLiteral("WHERE (1=1)");
    m_order = QStringLiteral(" ORDER BY id ");
}

void BrowseStatement::search(int pageSize, const QString& columnList, const QString& condition)
{
    m_head = BrowseHead(pageSize, columnList);
    m_condition = condition;
    // A blank keeps a number at the condition's end apart from "order".
    if (m_order.isEmpty())
        m_order = QStringLiteral(" order by id ");
}

void BrowseStatement::sortBy(const QString& fieldName)
{
    if (m_order.right(4) == QLatin1String("desc"))
        m_order = QStringLiteral(" order by ") + fieldName;
    else
        m_order = QStringLiteral(" order by ") + fieldName + QStringLiteral(" desc");
}

QString BrowseStatement::page(int pageSize, int pageIndex) const
{
    return m_head + m_condition + SkipClause(pageSize, pageIndex, m_condition) + m_order;
}

QString BrowseStatement::firstSorted() const
{
    return m_head + m_condition + m_order;
}
