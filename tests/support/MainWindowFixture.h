#pragma once

#include "support/MessageRecorder.h"
#include "support/TestFolder.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <QtTest>

// One data column of a designed table: its title, "varchar", "int" or
// "float", and the length of the designer's spin box.
struct DesignColumn
{
    QString title;
    QString type;
    int length = 10;
};

// What a test of the main window needs: a fresh program folder, a message
// recorder, the application state as at start, the test's database (see
// TestDatabase) made by the first-run batch and the settings file of a
// signed-in operator. Build the TMainBox after createDatabase(), and let it
// go before the fixture.
class MainWindowFixture final
{
public:
    MainWindowFixture();
    ~MainWindowFixture();

    MainWindowFixture(const MainWindowFixture&) = delete;
    MainWindowFixture& operator=(const MainWindowFixture&) = delete;

    TestFolder& folder() { return m_folder; }
    TestDatabase& database() { return m_folder.database(); }
    MessageRecorder& messages() { return m_messages; }

    // Runs the program's first-run batch for the design and signs the
    // operator in.
    void createDatabase(const QList<DesignColumn>& columns, bool pictures, bool documents,
                        const QString& operatorName = QStringLiteral("root"));
    // An operator with the password "123456" and write right 1 or 0.
    void addOperator(const QString& name, const QString& alias, int right);
    // The settings file as a sign-in of this operator leaves it.
    void signIn(const QString& operatorName);

    // On a connection of the test's own, not the window's.
    void execute(const QStringList& lines);
    QList<QStringList> rows(const QString& statement); // every field as text

    // The texts of the error reports shown so far.
    QStringList errorTexts() const;

    template <typename T> static T* control(const QWidget& window, const QString& name)
    {
        auto* object = window.findChild<T*>(name);
        if (!object)
            qFatal("no control %s", qPrintable(name));
        return object;
    }

private:
    TestFolder m_folder;
    MessageRecorder m_messages;
};
