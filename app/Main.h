#pragma once

#include "SessionLoad.h"
#include "common/Catalogue.h"
#include "common/Session.h"
#include "platform/db/Connection.h"

#include <QMainWindow>
#include <array>
#include <memory>

class AttachmentStrip;
class OperatorAdmin;
class QLabel;
class RecordBrowser;

namespace Ui {
class TMainBox;
}

// The main window's frame: menus, toolbar, the About, Data and Users views
// and the status bar. It shows the session and the catalogue its load
// (SessionLoad) reads, and hands the
// record grid, the attachment strip and the operator list to the subsystems
// that own them; each connects those controls to its own handlers.
class TMainBox final : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainBox(QWidget* parent = nullptr);
    ~TMainBox() override;

    // The window's own connection, which the record and operator grids use;
    // it connects on first use.
    db::Connection& connection() { return m_connection; }

    const Session& session() const { return m_load.session(); }
    const Catalogue& catalogue() const { return m_catalogue; }
    RecordBrowser& browser() { return *m_browser; }
    AttachmentStrip& strip() { return *m_strip; }
    OperatorAdmin& admin() { return *m_admin; }

    // Panel 0 of StatusBar1 holds the paging line, panel 1 the operator line.
    QLabel* StatusPanel(int index) const;

    // Shows view 1 (About), 2 (Data) or 3 (Users) with the controls this
    // operator may use; every call rebuilds the whole state.
    void showView(int m);

    void loadSession();
    void cleanTempFolder();
    void showAbout();
    void closeWindow();
    void openManual();
    void showOperators(); // the Users view
    void centreHeading();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void makeSubsystems();
    void showCatalogue(const Catalogue& catalogue);
    void showOperator(const QString& alias);
    void showTitle(const QString& title);

    db::Connection m_connection;
    std::unique_ptr<Ui::TMainBox> ui;
    std::array<QLabel*, 2> m_statusPanels{};
    SessionLoad m_load;
    Catalogue m_catalogue;
    RecordBrowser* m_browser = nullptr;
    AttachmentStrip* m_strip = nullptr;
    OperatorAdmin* m_admin = nullptr;
};

extern TMainBox* MainBox;
