#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TLoginBox;
}

class FreshConnection;

// The sign-in dialog with its two pages: signing in, and the connection
// settings. On a database without the program's tables a sign-in press runs
// the first-run set-up instead.
class TLoginBox final : public QDialog
{
    Q_OBJECT

public:
    explicit TLoginBox(QWidget* parent = nullptr);
    ~TLoginBox() override;

    bool SignedIn = false;

    const QString& connectionString() const { return m_connectionString; }
    bool isConfigured() const { return m_configured; }
    int signInAttempts() const { return m_attempts; }

    // Handlers, public so that tests can drive them like a button press.
    void signIn();
    void quit();
    // Tests the connection page's settings and keeps them if they work.
    void testConnection();
    void leaveConnectionPage();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    void readSettings();
    void showFirstPage();
    // Enter and Escape in the account and password boxes; true when handled.
    bool accountKeyPressed(int key);
    bool passwordKeyPressed(int key);

    void showSignInPage();
    void showConnectionPage();
    bool passwordMatches(FreshConnection& work);
    // makeFile: the embedded database's file is missing and made with the tables.
    void runFirstRun(FreshConnection& work, bool makeFile);
    void terminateProgram();
    void finish(DialogCode result);

    std::unique_ptr<Ui::TLoginBox> ui;
    bool m_finishing = false;
    // The connection the settings name, and whether there are settings yet.
    QString m_connectionString;
    bool m_configured = false;
    int m_attempts = 0; // sign-in presses; the third failure ends the program
};

extern TLoginBox* LoginBox;
