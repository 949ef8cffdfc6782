#pragma once

#include <QString>

// The record grid's current row as the parts beside the grid read it; the
// record browser gives it, so that they need not know its query.
class CurrentRecord
{
public:
    virtual ~CurrentRecord() = default;

    // A field of the current row as its edit text; empty when there is no
    // row, the rows have no such field or the value is NULL.
    virtual QString currentText(const QString& field) const = 0;
    // The current row's id (its first column) as its edit text; empty when
    // there is no row.
    virtual QString currentId() const = 0;

protected:
    CurrentRecord() = default;
    CurrentRecord(const CurrentRecord&) = default;
    CurrentRecord& operator=(const CurrentRecord&) = default;
};
