#pragma once

#include <QString>

// The record grid's statement: which records (the filter), in which order and
// which page of them. Every statement the record browser runs is made here,
// from a head naming the page size and the columns, the filter, an id window
// that skips the earlier pages, and the order.
class BrowseStatement final
{
public:
    // All records in id order; ends any search and sort.
    void browseAll(int pageSize, const QString& columnList);
    // The records the condition keeps; a sort in force stays, else they
    // follow the ids.
    void search(int pageSize, const QString& columnList, const QString& condition);
    // Sorted by the field, the direction flipping from one call to the next.
    void sortBy(const QString& fieldName);

    // Page k of the records. The skip window counts pages of `pageSize`
    // records in id order, whatever the sort.
    QString page(int pageSize, int pageIndex) const;
    // The first page in the order, without an id window.
    QString firstSorted() const;

    const QString& condition() const { return m_condition; }
    const QString& order() const { return m_order; }

private:
    QString m_head;
    QString m_condition;
    QString m_order;
};
