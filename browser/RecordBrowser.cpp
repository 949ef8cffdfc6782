#include "RecordBrowser.h"

#include "BrowseText.h"
#include "BusyCursor.h"
#include "CsvFile.h"
#include "SearchCondition.h"
#include "common/ErrorReport.h"
#include "common/FileDialogs.h"
#include "common/FreshConnection.h"
#include "common/MessageBox.h"
#include "common/ShortDate.h"
#include "common/StepProgress.h"
#include "platform/grid/DataGrid.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTableView>
#include <QToolButton>

namespace {

// Rows written between two reports of a CSV export's progress.
constexpr int ProgressRows = 1000;

// Nothing typed into the record grid is lost when the window closes: the
// pending row is posted first, and a row that cannot be posted keeps the
// window open with its error reported.
class PostBeforeClose final : public QObject
{
public:
    PostBeforeClose(QWidget& window, grid::DataGrid& grid)
        : QObject(&window), m_window(window), m_grid(grid)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &m_window || event->type() != QEvent::Close)
            return false;
        bool posted = false;
        Guarded([this, &posted] {
            m_grid.postPending();
            posted = true;
        });
        if (posted)
            return false;
        event->ignore();
        return true;
    }

private:
    QWidget& m_window;
    grid::DataGrid& m_grid;
};

} // namespace

RecordBrowser::RecordBrowser(const Controls& controls, const Session& session,
                             db::Connection& connection, QWidget& window)
    : QObject(&window), m_query(connection), m_controls(controls), m_session(session),
      m_window(window)
{
    m_grid = new grid::DataGrid(*m_controls.DBGrid1, m_query, this);
    m_grid->setObjectName(QStringLiteral("recordGrid"));
    m_grid->setGuard([](const std::function<void()>& action) { Guarded(action); });
    connect(m_grid, &grid::DataGrid::dataChange, this, &RecordBrowser::currentRowChanged);
    connect(m_grid, &grid::DataGrid::titleClicked, this,
            [this](int column) { Guarded([this, column] { sortByColumn(column); }); });
    window.installEventFilter(new PostBeforeClose(window, *m_grid));
    connectControls();
}

QString RecordBrowser::currentText(const QString& field) const
{
    if (!m_query.isOpen() || m_query.currentRow() < 0 || !m_query.hasField(field))
        return QString();
    return m_query.text(field);
}

QString RecordBrowser::currentId() const
{
    if (!m_query.isOpen() || m_query.currentRow() < 0 || m_query.fieldCount() == 0)
        return QString();
    return m_query.text(0);
}

void RecordBrowser::connectControls()
{
    const Controls& c = m_controls;
    ConnectGuarded(c.SpeedButton3, &QToolButton::clicked, this, &RecordBrowser::browseAll);
    ConnectGuarded(c.PageUp, &QToolButton::clicked, this, &RecordBrowser::previousPage);
    ConnectGuarded(c.PageDown, &QToolButton::clicked, this, &RecordBrowser::nextPage);
    ConnectGuarded(c.Com11, &QComboBox::currentIndexChanged, this,
                   &RecordBrowser::chooseSearchColumn);
    ConnectGuarded(c.SpeedButton6, &QToolButton::clicked, this, &RecordBrowser::search);
    connect(c.EKey, &QLineEdit::returnPressed, this,
            [this] { Guarded([this] { searchOnEnter(QChar(13)); }); });
    ConnectGuarded(c.A1, &QAction::triggered, this, &RecordBrowser::appendRecord);
    ConnectGuarded(c.N5, &QAction::triggered, this, &RecordBrowser::deleteRecord);
    ConnectGuarded(c.CSV1, &QAction::triggered, this, &RecordBrowser::exportPage);
}

void RecordBrowser::showCatalogue(const Catalogue& catalogue)
{
    m_columnList = catalogue.columnList;
    m_columns.clear();
    // Refilling the list is no change of the operator's choice.
    const QSignalBlocker quiet(m_controls.Com11);
    m_controls.Com11->clear();
    for (const CatalogueColumn& each : catalogue.columns) {
        grid::Column column;
        column.fieldName = each.fieldName;
        column.title = each.title;
        column.titleAlignment = Qt::AlignCenter;
        column.width = each.width;
        m_columns.append(column);
        m_controls.Com11->addItem(each.title);
    }
    m_controls.Com11->setCurrentIndex(-1);
}

// Loads the first page of all records in id order; ends any search and sort.
void RecordBrowser::browseAll()
{
    m_grid->postPending();
    emit dataViewWanted();
    cancellable([this] {
        m_pageIndex = 0;
        m_statement.browseAll(m_session.pageSize, m_columnList);
        m_text = m_statement.page(m_session.pageSize, m_pageIndex);
        loadFirstPage();
        // No column is the sort column any more.
        for (grid::Column& column : m_columns)
            column.titleColor = Qt::black;
        showColumns();
    });
}

// A click at the last page reloads it and disables the button.
void RecordBrowser::nextPage()
{
    m_grid->postPending();
    cancellable([this] {
        if (m_pageIndex < m_pageCount - 1)
            ++m_pageIndex;
        else
            m_controls.PageDown->setEnabled(false);
        if (m_pageIndex > 0)
            m_controls.PageUp->setEnabled(true);
        showPage(m_pageIndex);
    });
}

// A click at the first page reloads it and disables the button.
void RecordBrowser::previousPage()
{
    m_grid->postPending();
    cancellable([this] {
        if (m_pageIndex > 0)
            --m_pageIndex;
        else
            m_controls.PageUp->setEnabled(false);
        if (m_pageIndex < m_pageCount)
            m_controls.PageDown->setEnabled(true);
        showPage(m_pageIndex);
    });
}

void RecordBrowser::chooseSearchColumn()
{
    m_searchColumn = QStringLiteral("f_") + QString::number(m_controls.Com11->currentIndex() + 1);
}

// Filters the records by the chosen column and loads the first page of the
// matches; a sort in force stays.
void RecordBrowser::search()
{
    if (m_controls.Com11->currentText().isEmpty() || m_controls.Com12->currentText().isEmpty()) {
        MessageBox::Show(QStringLiteral("搜索信息必须输入必要的条件!"), MessageBox::Ok);
        return;
    }
    m_grid->postPending();
    cancellable([this] {
        m_pageIndex = 0;
        m_statement.search(m_session.pageSize, m_columnList,
                           SearchCondition(m_searchColumn, m_controls.Com12->currentText(),
                                           m_controls.EKey->text()));
        m_text = m_statement.page(m_session.pageSize, m_pageIndex);
        emit dataViewWanted();
        loadFirstPage();
    });
}

// Enter in the key box searches.
void RecordBrowser::searchOnEnter(QChar key)
{
    if (key == QChar(13))
        search();
}

// Sorts the matching records by the clicked column, the direction flipping
// from one click to the next, and shows the first page of them. The sorted
// column's title turns red.
void RecordBrowser::sortByColumn(int column)
{
    if (column < 0 || column >= m_columns.size())
        return;
    m_grid->postPending();
    cancellable([this, column] {
        m_statement.sortBy(m_columns.at(column).fieldName);
        m_text = m_statement.firstSorted();
        run(m_text);
        for (grid::Column& each : m_columns)
            each.titleColor = Qt::black;
        m_columns[column].titleColor = QColor(255, 0, 0);
        showColumns();
    });
}

// Appends a blank row to the grid; it is written when the operator leaves it
// and dropped when left untouched.
void RecordBrowser::appendRecord()
{
    if (m_query.isOpen())
        m_grid->appendRow();
}

// Deletes the current record after the operator confirms.
void RecordBrowser::deleteRecord()
{
    if (!m_query.isOpen() || !m_session.canWrite || m_grid->currentRow() < 0)
        return;
    if (MessageBox::Show(QStringLiteral("你真的要删除该笔记录吗?"), MessageBox::YesNo) !=
        MessageBox::IdYes)
        return;
    m_grid->deleteCurrentRow();
}

// Writes the loaded page as a CSV table: a header of the column titles, then
// one line per row. Columns follow the order the operator sees in the grid.
void RecordBrowser::exportPage()
{
    FileDialogs::Request request;
    request.kind = FileDialogs::Kind::Save;
    request.presetName = ShortDate(QDate::currentDate()) + QStringLiteral("导出表");
    const QString chosen = FileDialogs::Choose(&m_window, request);
    if (chosen.isEmpty())
        return;

    // A row still being typed belongs to the page.
    m_grid->postPending();
    if (m_query.recordCount() == 0)
        return;

    const BusyCursor busy;
    const grid::QueryTableModel& model = m_grid->model();
    const QList<int> columns = m_grid->visualColumns();
    StepProgress progress(&m_window, QStringLiteral("正在导出CSV文件"), StepProgress::Unit::Rows);
    CsvWriter csv(CsvFileName(chosen));
    QString line;
    for (const int column : columns)
        line += CsvField(model.columns().at(column).title) + QLatin1Char(',');
    csv.addLine(line);
    const int rows = m_query.recordCount();
    for (int row = 0; row < rows; ++row) {
        // A cancel drops the writer unfinished, which leaves no file behind.
        if (row % ProgressRows == 0 && !progress(row, rows))
            return;
        line.clear();
        for (const int column : columns) {
            const int position = model.fieldPosition(column);
            if (position >= 0)
                line += CsvField(grid::editText(m_query.rowValue(row, position)));
            line += QLatin1Char(',');
        }
        csv.addLine(line);
    }
    if (!progress(rows, rows))
        return;
    const QString failure = csv.finish();
    progress.finish();
    m_grid->setCurrentRow(0);
    if (!failure.isEmpty()) {
        MessageBox::Show(QStringLiteral("CSV文件保存失败: ") + failure, MessageBox::Ok);
        return;
    }
    MessageBox::Show(QStringLiteral("CSV电子表格文件成功导出!"), MessageBox::Ok);
}

void RecordBrowser::showPage(int pageIndex)
{
    m_pageIndex = pageIndex;
    m_text = m_statement.page(m_session.pageSize, m_pageIndex);
    run(m_text);
    showPageLine();
}

// Loads the first page with both paging buttons enabled, and counts the
// matching records for the status line.
void RecordBrowser::loadFirstPage()
{
    run(m_text);
    m_controls.PageUp->setEnabled(true);
    m_controls.PageDown->setEnabled(true);
    m_recordCount = countRecords(m_statement.condition());
    m_pageCount = PageCountFor(m_recordCount, m_session.pageSize);
    showPageLine();
}

// Reloads the record grid with the statement. Whatever is pending in the
// grid is posted first; when that fails the page is not reloaded.
void RecordBrowser::cancellable(const std::function<void()>& load)
{
    const BrowseStatement statement = m_statement;
    const QString text = m_text;
    const int pageIndex = m_pageIndex;
    const int recordCount = m_recordCount;
    const int pageCount = m_pageCount;
    const QList<grid::Column> columns = m_columns;
    const bool pageUp = m_controls.PageUp->isEnabled();
    const bool pageDown = m_controls.PageDown->isEnabled();
    const QString shownText = m_query.isOpen() ? m_query.openedSql() : QString();
    try {
        load();
    } catch (const db::Cancelled&) {
        m_statement = statement;
        m_text = text;
        m_pageIndex = pageIndex;
        m_recordCount = recordCount;
        m_pageCount = pageCount;
        m_columns = columns;
        m_controls.PageUp->setEnabled(pageUp);
        m_controls.PageDown->setEnabled(pageDown);
        showColumns();
        showPageLine();
        // A count stopped after its page came in: the page shown before
        // comes back.
        if (m_query.isOpen() && m_query.openedSql() != shownText)
            m_grid->reopen([this, &shownText] {
                m_query.setSql(shownText.chopped(2));
                if (!shownText.isEmpty())
                    m_query.open();
            });
        throw;
    }
}

void RecordBrowser::run(const QString& statement)
{
    const BusyCursor busy;
    showColumns();
    m_grid->setReadOnly(!m_session.canWrite);
    StepProgress progress(&m_window, QStringLiteral("正在读取记录"), StepProgress::Unit::Rows);
    const db::RunnerScope beside = m_query.setRunner(
        [&progress](const db::Work& work, const db::Interrupt& interrupt, const db::Gauge& gauge) {
            progress.runBeside(work, interrupt, gauge);
        });
    m_grid->reopen([this, &statement] {
        // The page shown stays until the new one is in, for a cancel.
        m_query.clearSql();
        m_query.addSql(statement);
        m_query.open();
    });
}

// Counts the matching records on a connection of its own; the database
// counts them, so that no id crosses the network. A count whose database has
// not changed since, where the engine can tell, is the count again.
int RecordBrowser::countRecords(const QString& condition)
{
    const BusyCursor busy;
    FreshConnection work(m_session.connectionString);
    const std::optional<db::ChangeStamp> stamp = work.connection().changeStamp();
    if (stamp && m_knownCount && m_knownCount->condition == condition &&
        m_knownCount->stamp == *stamp)
        return m_knownCount->count;
    m_knownCount.reset();

    StepProgress progress(&m_window, QStringLiteral("正在统计记录"),
                          StepProgress::Unit::Milliseconds);
    db::Query& query = work.query();
    query.setSql(QStringLiteral("select count(*) from  fid_Main ") + condition);
    const db::RunnerScope beside = query.setRunner(
        [&progress](const db::Work& step, const db::Interrupt& interrupt, const db::Gauge& gauge) {
            progress.runBeside(step, interrupt, gauge);
        });
    query.open();
    const int count = query.value(0).toInt();
    if (stamp)
        m_knownCount = KnownCount{condition, *stamp, count};
    return count;
}

void RecordBrowser::showPageLine()
{
    m_controls.PageLine->setText(
        PageStatus(m_session.pageSize, m_recordCount, m_pageIndex, m_pageCount));
}

// Titles, widths and title colours of the catalogue's columns.
void RecordBrowser::showColumns()
{
    m_grid->setColumns(m_columns);
}
