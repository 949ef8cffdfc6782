#include "QueryTableModel.h"

#include "platform/db/DbError.h"

#include <QBrush>
#include <QSize>
#include <charconv>

namespace grid {

namespace {

constexpr int IndicatorWidth = 16;

bool isNullValue(const QVariant& value)
{
    return !value.isValid() || value.isNull();
}

bool isNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

// The sections of the views stay valid only while the fields are the same.
bool sameFields(const QList<Column>& a, const QList<Column>& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.at(i).fieldName != b.at(i).fieldName)
            return false;
    }
    return true;
}

// The shortest of fixed and exponent notation with up to the given number
// of significant digits, as printf's %g writes it, whatever the locale.
QString generalFormat(double value, int digits)
{
    char buffer[64];
    const std::to_chars_result result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

} // namespace

QString editText(const QVariant& value)
{
    if (isNullValue(value))
        return QString();
    switch (value.typeId()) {
    case QMetaType::Double:
        return generalFormat(value.toDouble(), 15);
    case QMetaType::Float:
        return generalFormat(value.toFloat(), 7);
    default:
        return value.toString();
    }
}

QueryTableModel::QueryTableModel(db::Query& query, QObject* parent)
    : QAbstractTableModel(parent), m_query(query)
{
}

void QueryTableModel::setColumns(const QList<Column>& columns)
{
    if (sameFields(columns, m_columns)) {
        // Only titles that changed are told: the views measure them again.
        for (int i = 0; i < columns.size(); ++i) {
            const Column& before = m_columns.at(i);
            const Column& after = columns.at(i);
            m_columns[i] = after;
            if (before.title != after.title || before.titleAlignment != after.titleAlignment ||
                before.titleColor != after.titleColor)
                emit headerDataChanged(Qt::Horizontal, i, i);
        }
        return;
    }
    beginResetModel();
    m_columns = columns;
    resolveFields();
    m_rows = m_query.recordCount();
    endResetModel();
}

void QueryTableModel::setReadOnly(bool readOnly)
{
    if (readOnly == m_readOnly)
        return;
    m_readOnly = readOnly;
    if (m_rows > 0 && !m_columns.isEmpty())
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
}

void QueryTableModel::reopen(const std::function<void()>& action)
{
    // The rows' indicators change only where a row was pending.
    int firstPending = -1;
    int lastPending = -1;
    for (int row = 0; row < m_rows; ++row) {
        if (isPending(row)) {
            firstPending = firstPending < 0 ? row : firstPending;
            lastPending = row;
        }
    }
    try {
        action();
    } catch (...) {
        showQueryRows(firstPending, lastPending);
        throw;
    }
    showQueryRows(firstPending, lastPending);
}

// The columns stay, and with them what the views keep of them: the order,
// the widths, the measured titles. As many rows as before, as on every page
// but the last, keep the views' rows and only their contents change, which
// spares the views laying the rows out again; otherwise the rows go and come
// back.
void QueryTableModel::showQueryRows(int firstPending, int lastPending)
{
    resolveFields();
    const int rows = m_query.recordCount();
    if (rows == m_rows) {
        if (rows > 0 && !m_columns.isEmpty())
            emit dataChanged(index(0, 0), index(rows - 1, columnCount() - 1));
        if (firstPending >= 0)
            emit headerDataChanged(Qt::Vertical, firstPending, lastPending);
        return;
    }
    if (m_rows > 0) {
        beginRemoveRows(QModelIndex(), 0, m_rows - 1);
        m_rows = 0;
        endRemoveRows();
    }
    if (rows > 0) {
        beginInsertRows(QModelIndex(), 0, rows - 1);
        m_rows = rows;
        endInsertRows();
    }
}

void QueryTableModel::resolveFields()
{
    m_positions.clear();
    for (const Column& column : m_columns) {
        // Rows of a result without the field show an empty column.
        m_positions.append(m_query.isOpen() && m_query.hasField(column.fieldName)
                               ? m_query.fieldIndex(column.fieldName)
                               : -1);
    }
}

int QueryTableModel::fieldPosition(int column) const
{
    return column >= 0 && column < m_positions.size() ? m_positions.at(column) : -1;
}

bool QueryTableModel::isPending(int row) const
{
    return row >= 0 && row < m_query.recordCount() &&
           m_query.rowState(row) != db::Query::RowState::Unchanged;
}

bool QueryTableModel::isBlank(int row) const
{
    if (row < 0 || row >= m_query.recordCount() ||
        m_query.rowState(row) != db::Query::RowState::Inserted)
        return false;
    for (int position = 0; position < m_query.fieldCount(); ++position) {
        if (!isNullValue(m_query.rowValue(row, position)))
            return false;
    }
    return true;
}

int QueryTableModel::appendRow()
{
    const int row = m_query.recordCount();
    beginInsertRows(QModelIndex(), row, row);
    try {
        m_query.appendRow();
    } catch (...) {
        endInsertRows();
        throw;
    }
    m_rows = m_query.recordCount();
    endInsertRows();
    return row;
}

void QueryTableModel::postRow(int row)
{
    m_query.postRow(row);
    rowChanged(row); // the new row's key is in now
}

void QueryTableModel::cancelRow(int row)
{
    if (!isPending(row))
        return;
    const bool appended = m_query.rowState(row) == db::Query::RowState::Inserted;
    m_query.cancelRow(row);
    if (appended) {
        // The query has dropped the row already; the views learn it now.
        beginRemoveRows(QModelIndex(), row, row);
        m_rows = m_query.recordCount();
        endRemoveRows();
    } else {
        rowChanged(row);
    }
}

void QueryTableModel::deleteRow(int row)
{
    m_query.setCurrentRow(row);
    m_query.deleteCurrentRow();
    beginRemoveRows(QModelIndex(), row, row);
    m_rows = m_query.recordCount();
    endRemoveRows();
}

void QueryTableModel::rowChanged(int row)
{
    if (row < 0 || row >= m_rows)
        return;
    if (!m_columns.isEmpty())
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, row, row);
}

int QueryTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int QueryTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant QueryTableModel::cellValue(int row, int column) const
{
    const int position = fieldPosition(column);
    // Views may ask while a removal is being announced.
    if (position < 0 || row < 0 || row >= m_query.recordCount())
        return QVariant();
    return m_query.rowValue(row, position);
}

QVariant QueryTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return editText(cellValue(index.row(), index.column()));
    case Qt::TextAlignmentRole:
        if (isNumber(cellValue(index.row(), index.column())))
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant();
    default:
        return QVariant();
    }
}

bool QueryTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const int row = index.row();
    const QString text = value.toString();
    if (text == editText(cellValue(row, index.column())))
        return true;
    // The engine converts the text to the column's type when the row is
    // posted; an empty box is NULL, which every column type takes.
    m_query.setRowValue(row, fieldPosition(index.column()), text.isEmpty() ? QVariant() : text);
    emit dataChanged(index, index);
    emit headerDataChanged(Qt::Vertical, row, row);
    emit fieldChanged(row);
    return true;
}

Qt::ItemFlags QueryTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (!m_readOnly && fieldPosition(index.column()) >= 0 && index.row() < m_query.recordCount())
        result |= Qt::ItemIsEditable;
    return result;
}

QVariant QueryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        // The indicator column: a star marks a row that is not written yet.
        // Its fixed width spares the view measuring every row's header.
        if (role == Qt::DisplayRole)
            return isPending(section) ? QVariant(QStringLiteral("*")) : QVariant();
        if (role == Qt::SizeHintRole)
            return QSize(IndicatorWidth, 0);
        return QVariant();
    }
    if (section < 0 || section >= m_columns.size())
        return QVariant();
    const Column& column = m_columns.at(section);
    switch (role) {
    case Qt::DisplayRole:
        return column.title;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(column.titleAlignment);
    case Qt::ForegroundRole:
        return column.titleColor == PlainTitleColor ? QVariant() : QBrush(column.titleColor);
    default:
        return QVariant();
    }
}

} // namespace grid
