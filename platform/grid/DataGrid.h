#pragma once

#include "QueryTableModel.h"

#include <QObject>
#include <functional>

class QTableView;
class QStyledItemDelegate;

namespace grid {

// Binds a table view to a query the way a data-aware grid works: the view's
// current row is the query's current row; an edited or appended row is
// posted when the operator leaves it (an appended row left untouched is
// dropped); Esc cancels the changes of the current row; a post that fails
// keeps the row current and pending. Errors that arise in the view's own
// events go through the guard, which the owner sets to its error report.
class DataGrid final : public QObject
{
    Q_OBJECT

public:
    using Guard = std::function<void(const std::function<void()>&)>;

    DataGrid(QTableView& view, db::Query& query, QObject* parent = nullptr);

    QueryTableModel& model() { return *m_model; }
    db::Query& query() { return m_model->query(); }

    void setGuard(Guard guard);

    // Titles, widths and title colours. The same fields given again keep the
    // column order and widths the operator chose.
    void setColumns(const QList<Column>& columns);
    void setReadOnly(bool readOnly);

    // Posts what is pending, then runs the action that opens or closes the
    // query and moves to the first row. A failing post throws and the action
    // does not run.
    void reopen(const std::function<void()>& action);

    // Finishes an open cell editor and posts the pending rows; a blank
    // appended row, or any pending row of a read-only grid, is dropped. A
    // failing post throws db::DbError and leaves that row pending and current.
    void postPending();
    void cancelPending();
    bool hasPending() const;

    void appendRow(); // posts what is pending first
    void deleteCurrentRow();

    int currentRow() const; // -1 when there is none
    void setCurrentRow(int row);
    QList<int> visualColumns() const; // the columns in the order they are shown

signals:
    // The current row moved, the rows were (re)loaded or a field of the
    // current row changed.
    void dataChange();
    void titleClicked(int column);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void currentRowChanged(int previous, int previousColumn);
    void showFirstRow();
    void moveQuietly(int row, int column);
    void selectCurrent();
    void syncQuery();
    void finishEditing();
    void settle(int row);

    QTableView& m_view;
    QueryTableModel* m_model;
    QStyledItemDelegate* m_delegate;
    Guard m_guard;
    bool m_quiet = false;
};

} // namespace grid
