#pragma once

#include <QString>

// The pieces of the browse statement and of the page line.

// "SELECT TOP <page size> id,<columns> FROM fid_Main "
QString BrowseHead(int pageSize, const QString& columnList);

// Empty for the first page; for page index k the id window that skips the
// rows of the first k pages of the rows matching the condition, in id order.
QString SkipClause(int pageSize, int pageIndex, const QString& condition);

// Pages for the records: a last page that is not full counts; none for none.
int PageCountFor(int recordCount, int pageSize);

// "  每页50条,共123条记录 当前1页,共3页"
QString PageStatus(int pageSize, int recordCount, int pageIndex, int pageCount);
