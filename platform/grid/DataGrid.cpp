#include "DataGrid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPalette>
#include <QPointer>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QtDebug>
#include <algorithm>

namespace grid {

namespace {

// Knows the cell editor it has open, so that a pending edit can be finished
// before its row is posted.
class EditDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        m_editor = editor;
        return editor;
    }

    QWidget* openEditor() const { return m_editor.data(); }

private:
    mutable QPointer<QWidget> m_editor;
};

// Without an owner's guard an error is only logged: none may cross the
// event loop.
void LogErrors(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        qWarning() << error.what();
    }
}

} // namespace

DataGrid::DataGrid(QTableView& view, db::Query& query, QObject* parent)
    : QObject(parent), m_view(view), m_model(new QueryTableModel(query, this)),
      m_delegate(new EditDelegate(this)), m_guard(LogErrors)
{
    m_view.setModel(m_model);
    m_view.setItemDelegate(m_delegate);
    QHeaderView* header = m_view.horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    // Titles that are not marked are black whatever the desktop's colours.
    QPalette titles = header->palette();
    titles.setColor(QPalette::ButtonText, PlainTitleColor);
    header->setPalette(titles);
    connect(header, &QHeaderView::sectionClicked, this, &DataGrid::titleClicked);
    connect(m_view.selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (current.row() != previous.row())
                    currentRowChanged(previous.row(), previous.column());
            });
    connect(m_model, &QueryTableModel::fieldChanged, this, [this](int row) {
        if (row == currentRow())
            emit dataChange();
    });
    m_view.installEventFilter(this);
}

void DataGrid::setGuard(Guard guard)
{
    m_guard = guard ? std::move(guard) : Guard(LogErrors);
}

void DataGrid::setColumns(const QList<Column>& columns)
{
    const QList<Column> before = m_model->columns();
    const bool newFields =
        before.size() != columns.size() ||
        std::mismatch(
            before.begin(), before.end(), columns.begin(), [](const Column& a, const Column& b) {
                return a.fieldName == b.fieldName;
            }).first != before.end();
    {
        const QScopedValueRollback quiet(m_quiet, true);
        m_model->setColumns(columns);
    }
    QHeaderView* header = m_view.horizontalHeader();
    for (int i = 0; i < columns.size(); ++i) {
        const int width = columns.at(i).width;
        if (width > 0 && (newFields || before.at(i).width != width))
            header->resizeSection(i, width);
    }
}

void DataGrid::setReadOnly(bool readOnly)
{
    m_model->setReadOnly(readOnly);
}

void DataGrid::reopen(const std::function<void()>& action)
{
    postPending();
    try {
        const QScopedValueRollback quiet(m_quiet, true);
        m_model->reopen(action);
    } catch (...) {
        emit dataChange();
        throw;
    }
    showFirstRow();
}

void DataGrid::showFirstRow()
{
    const QList<int> columns = visualColumns();
    moveQuietly(m_model->rowCount() > 0 ? 0 : -1, columns.isEmpty() ? 0 : columns.constFirst());
    // The first row may have been current already, on the page before.
    if (m_view.currentIndex().isValid())
        m_view.scrollTo(m_view.currentIndex());
    syncQuery();
    emit dataChange();
}

void DataGrid::finishEditing()
{
    auto* delegate = static_cast<EditDelegate*>(m_delegate);
    if (QWidget* editor = delegate->openEditor()) {
        emit delegate->commitData(editor);
        emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void DataGrid::postPending()
{
    finishEditing();
    for (int row = m_model->rowCount() - 1; row >= 0; --row) {
        if (!m_model->isPending(row))
            continue;
        try {
            settle(row);
        } catch (...) {
            moveQuietly(row, m_view.currentIndex().column());
            throw;
        }
    }
}

// Writes the row, or drops it when there is nothing to write.
void DataGrid::settle(int row)
{
    if (m_model->isBlank(row) || m_model->isReadOnly()) {
        const int current = currentRow();
        {
            const QScopedValueRollback quiet(m_quiet, true);
            m_model->cancelRow(row);
        }
        if (current >= m_model->rowCount())
            moveQuietly(m_model->rowCount() - 1, m_view.currentIndex().column());
        syncQuery();
        return;
    }
    m_model->postRow(row);
}

void DataGrid::cancelPending()
{
    finishEditing();
    const int current = currentRow();
    {
        const QScopedValueRollback quiet(m_quiet, true);
        for (int row = m_model->rowCount() - 1; row >= 0; --row)
            m_model->cancelRow(row);
    }
    if (current >= m_model->rowCount())
        moveQuietly(m_model->rowCount() - 1, m_view.currentIndex().column());
    syncQuery();
    emit dataChange();
}

bool DataGrid::hasPending() const
{
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->isPending(row))
            return true;
    }
    return false;
}

void DataGrid::appendRow()
{
    postPending();
    const int row = m_model->appendRow();
    setCurrentRow(row);
    m_view.scrollTo(m_model->index(row, std::max(0, m_view.currentIndex().column())));
    // What the operator types next goes into the new row.
    m_view.setFocus();
}

void DataGrid::deleteCurrentRow()
{
    finishEditing();
    const int row = currentRow();
    if (row < 0)
        return;
    {
        const QScopedValueRollback quiet(m_quiet, true);
        m_model->deleteRow(row);
    }
    // The query keeps a neighbouring row current; the view follows it.
    const int next = m_model->rowCount() == 0 ? -1 : std::min(row, m_model->rowCount() - 1);
    moveQuietly(next, m_view.currentIndex().column());
    syncQuery();
    emit dataChange();
}

int DataGrid::currentRow() const
{
    const QModelIndex current = m_view.currentIndex();
    return current.isValid() ? current.row() : -1;
}

void DataGrid::setCurrentRow(int row)
{
    const QList<int> columns = visualColumns();
    const int column = m_view.currentIndex().isValid()
                           ? m_view.currentIndex().column()
                           : (columns.isEmpty() ? 0 : columns.constFirst());
    m_view.setCurrentIndex(m_model->index(row, column));
    syncQuery();
}

QList<int> DataGrid::visualColumns() const
{
    const QHeaderView* header = m_view.horizontalHeader();
    QList<int> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical))
            columns.append(logical);
    }
    return columns;
}

void DataGrid::currentRowChanged(int previous, int previousColumn)
{
    if (m_quiet)
        return;
    if (m_model->isPending(previous)) {
        bool settled = false;
        m_guard([&] {
            settle(previous);
            settled = true;
        });
        if (!settled) {
            // The row that failed to post stays current, still pending.
            moveQuietly(previous, previousColumn);
            syncQuery();
            // A key or a click selects the cell it moved to after this
            // handler; the selection goes back to the current cell then.
            QMetaObject::invokeMethod(this, &DataGrid::selectCurrent, Qt::QueuedConnection);
            return;
        }
    }
    syncQuery();
    emit dataChange();
}

void DataGrid::moveQuietly(int row, int column)
{
    const QScopedValueRollback quiet(m_quiet, true);
    if (row < 0)
        m_view.setCurrentIndex(QModelIndex());
    else
        m_view.setCurrentIndex(m_model->index(row, std::max(0, column)));
}

void DataGrid::selectCurrent()
{
    const QModelIndex current = m_view.currentIndex();
    if (current.isValid())
        m_view.selectionModel()->select(current, QItemSelectionModel::ClearAndSelect);
}

void DataGrid::syncQuery()
{
    db::Query& rows = m_model->query();
    if (!rows.isOpen())
        return;
    const int row = currentRow();
    rows.setCurrentRow(row >= 0 && row < rows.recordCount() ? row : -1);
}

bool DataGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_view && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && hasPending()) {
        m_guard([this] { cancelPending(); });
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace grid
