#pragma once

#include "BrowseStatement.h"
#include "common/Catalogue.h"
#include "common/CurrentRecord.h"
#include "common/Session.h"
#include "platform/db/ChangeStamp.h"
#include "platform/db/Query.h"
#include "platform/grid/Column.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;
class QToolButton;
class QWidget;

namespace db {
class Connection;
}
namespace grid {
class DataGrid;
}

// The record browser: the record grid and its query, paging, search, sort,
// adding and deleting records and the CSV export of a page. It owns the
// browse state and the handlers of the controls the main window gives it.
class RecordBrowser final : public QObject, public CurrentRecord
{
    Q_OBJECT

public:
    // The main window's controls the browser drives.
    struct Controls
    {
        QTableView* DBGrid1 = nullptr;       // the records of the page
        QComboBox* Com11 = nullptr;          // search column
        QComboBox* Com12 = nullptr;          // search operator
        QLineEdit* EKey = nullptr;           // search key
        QToolButton* SpeedButton3 = nullptr; // browse all
        QToolButton* SpeedButton6 = nullptr; // search
        QToolButton* PageUp = nullptr;
        QToolButton* PageDown = nullptr;
        QAction* A1 = nullptr;      // add a record
        QAction* N5 = nullptr;      // delete the record
        QAction* CSV1 = nullptr;    // export the page
        QLabel* PageLine = nullptr; // status bar panel 0
    };

    RecordBrowser(const Controls& controls, const Session& session, db::Connection& connection,
                  QWidget& window);

    // The records query; the window's own connection serves it.
    db::Query& recordQuery() { return m_query; }
    const db::Query& recordQuery() const { return m_query; }
    // The grid over recordQuery.
    grid::DataGrid& recordGrid() { return *m_grid; }
    // One grid column per data column of the catalogue.
    const QList<grid::Column>& recordColumns() const { return m_columns; }

    // The catalogue's data columns become the grid's columns and the search
    // column's choices.
    void showCatalogue(const Catalogue& catalogue);

    void browseAll();
    void previousPage();
    void nextPage();
    void chooseSearchColumn();
    void search();
    void searchOnEnter(QChar key); // a key typed in the key box
    void sortByColumn(int column);
    void appendRecord();
    void deleteRecord();
    void exportPage();

    // Loads page k of the records the last browse or search chose.
    void showPage(int pageIndex);

    QString currentText(const QString& field) const override;
    QString currentId() const override;

    const BrowseStatement& statement() const { return m_statement; }
    const QString& statementText() const { return m_text; } // the last one run
    int pageIndex() const { return m_pageIndex; }
    int recordCount() const { return m_recordCount; }
    int pageCount() const { return m_pageCount; }
    const QString& searchColumn() const { return m_searchColumn; }

signals:
    // Browsing and searching show the Data view.
    void dataViewWanted();
    // The current row moved, the page was loaded or a field changed.
    void currentRowChanged();

private:
    void connectControls();
    void loadFirstPage();
    // Runs a load of the grid (page and counts) so that "取消" in its
    // progress leaves the page, the statement, the counts, the paging
    // buttons and the titles as they were.
    void cancellable(const std::function<void()>& load);
    void run(const QString& statement);
    int countRecords(const QString& condition);
    void showPageLine();
    void showColumns();

    db::Query m_query;
    grid::DataGrid* m_grid = nullptr;
    QList<grid::Column> m_columns;
    Controls m_controls;
    const Session& m_session;
    QWidget& m_window;
    QString m_columnList;
    BrowseStatement m_statement;
    QString m_text;
    int m_pageIndex = 0;
    // The last count made, with the state of the database it counted.
    struct KnownCount
    {
        QString condition;
        db::ChangeStamp stamp;
        int count = 0;
    };
    std::optional<KnownCount> m_knownCount;
    int m_recordCount = 0;
    int m_pageCount = 0;
    QString m_searchColumn;
};
