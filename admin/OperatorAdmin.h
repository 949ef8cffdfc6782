#pragma once

#include "common/Session.h"
#include "platform/db/Query.h"
#include "platform/grid/Column.h"

#include <QList>
#include <QObject>

class QTableView;
class QToolButton;
class QWidget;

namespace db {
class Connection;
}
namespace grid {
class DataGrid;
}

// Operator administration: the list of operators that root adds to, modifies
// and deletes from, and the settings dialog (every operator's own password;
// for root also the title and the page size).
class OperatorAdmin final : public QObject
{
    Q_OBJECT

public:
    // The main window's controls the administration drives.
    struct Controls
    {
        QTableView* DBGrid2 = nullptr;        // the operators
        QToolButton* ShowAllUser = nullptr;   // list them again
        QToolButton* SpeedButton4 = nullptr;  // add
        QToolButton* SpeedButton5 = nullptr;  // modify
        QToolButton* SpeedButton11 = nullptr; // delete
        QToolButton* SpeedButton9 = nullptr;  // settings
    };

    OperatorAdmin(const Controls& controls, const Session& session, db::Connection& connection,
                  QWidget& window);

    // The operators query; the window's own connection serves it.
    db::Query& operatorQuery() { return m_query; }
    const db::Query& operatorQuery() const { return m_query; }
    // The grid over operatorQuery.
    grid::DataGrid& operatorGrid() { return *m_grid; }
    const QList<grid::Column>& operatorColumns() const { return m_columns; }

    void listOperators();
    void addOperator();
    void modifyOperator(); // the listed one
    void deleteOperator(); // the listed one
    // The settings dialog, and writing what it confirms.
    void changeSettings();

signals:
    // Root confirmed the settings dialog with this page size; the session
    // takes it before the dialog's command runs.
    void pageSizeChosen(int pageSize);
    // The operator grid's current row moved or its rows were loaded.
    void currentRowChanged();

private:
    db::Query m_query;
    const QList<grid::Column> m_columns;
    grid::DataGrid* m_grid = nullptr;
    Controls m_controls;
    const Session& m_session;
    QWidget& m_window;
};
