#pragma once

#include "Column.h"
#include "platform/db/Query.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <functional>

namespace grid {

// The rows of a db::Query as a table: one row per fetched row, one column
// per chosen field, each cell the field's text as for editing (NULL reads
// ""). Editing goes into the query's row buffer; a row stays pending until it
// is posted or cancelled. The query itself sends no notifications, so whoever
// opens or closes it does that through reopen().
class QueryTableModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit QueryTableModel(db::Query& query, QObject* parent = nullptr);

    db::Query& query() const { return m_query; }

    void setColumns(const QList<Column>& columns);
    const QList<Column>& columns() const { return m_columns; }

    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }

    // Runs an action that opens or closes the query, telling the views
    // before and after, also when the action throws.
    void reopen(const std::function<void()>& action);

    // The position of a column's field in the result; -1 when it lacks it.
    int fieldPosition(int column) const;

    bool isPending(int row) const; // appended or edited and not yet posted
    bool isBlank(int row) const;   // appended with nothing typed into it

    // Row operations; a DbError leaves the rows as they were.
    int appendRow(); // the new row's index
    void postRow(int row);
    void cancelRow(int row);
    void deleteRow(int row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    // A field of the row was changed by editing.
    void fieldChanged(int row);

private:
    void resolveFields();
    void showQueryRows(int firstPending, int lastPending);
    void rowChanged(int row);
    QVariant cellValue(int row, int column) const;

    db::Query& m_query;
    QList<Column> m_columns;
    QList<int> m_positions;
    bool m_readOnly = false;
    int m_rows = 0; // the row count the views were last told
};

// A field value as an edit box shows it: NULL is "", a real number has up to
// 15 significant digits.
QString editText(const QVariant& value);

} // namespace grid
