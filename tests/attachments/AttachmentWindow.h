#pragma once

#include "app/Main.h"
#include "browser/RecordBrowser.h"
#include "common/FileDialogs.h"
#include "common/MessageBox.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/StatementLog.h"
#include "platform/grid/DataGrid.h"
#include "platform/shell/DesktopOpen.h"
#include "signin/FirstRunSchema.h"
#include "signin/Settings.h"
#include "support/MessageRecorder.h"
#include "support/TestFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QtTest>
#include <memory>

// The main window over the test's database made by the first-run batch,
// with every outside part scripted: the file dialogs answer with prepared
// paths, the desktop's "open" is recorded instead of starting a viewer, the
// message boxes are recorded and every statement sent is kept.
class AttachmentWindow
{
public:
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<MessageRecorder> messages;
    std::unique_ptr<TMainBox> box;
    QStringList sent;                    // statement texts without their line end
    QStringList opened;                  // paths handed to the desktop
    QList<FileDialogs::Request> dialogs; // what each dialog was asked to show
    QStringList answers;                 // the dialogs' answers, in turn; none is a cancel

    void setUp(bool pictures = true, bool documents = true, int rows = 3)
    {
        folder = std::make_unique<TestFolder>();
        messages = std::make_unique<MessageRecorder>();
        QGuiApplication::setApplicationDisplayName(QString());
        sent.clear();
        opened.clear();
        dialogs.clear();
        answers.clear();
        DesktopOpen::setOpenerForTesting([this](const QString& path) {
            opened << path;
            return true;
        });
        FileDialogs::setChooser([this](const FileDialogs::Request& request) {
            dialogs << request;
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });

        const TableDesign design{
            {{QStringLiteral("名称"), ColumnType::Text, 20}}, pictures, documents};
        execute(FirstRunBatch(MainTableSqlFor(design), TitleTableSqlFor(design)));
        for (int i = 1; i <= rows; ++i)
            execute({QStringLiteral("insert into fid_main(f_1) values ('记录%1');").arg(i)});
        const TestDatabase& database = folder->database();
        WriteConnectionSettings(database.host(), database.user(), QStringLiteral("1433"),
                                database.name(), database.password());
        WriteOperatorName(QStringLiteral("root"));
        box = std::make_unique<TMainBox>();
    }

    void tearDown()
    {
        box.reset();
        db::setStatementObserver({});
        DesktopOpen::setOpenerForTesting({});
        FileDialogs::setChooser({});
        messages.reset();
        folder.reset();
    }

    // "管理/查看": the first page, the strip following its first row.
    void loadPage() { box->browser().browseAll(); }
    void moveTo(int row) { box->browser().recordGrid().setCurrentRow(row); }

    void recordStatements()
    {
        sent.clear();
        db::setStatementObserver([this](const QString& text) {
            sent << (text.endsWith(QLatin1String("\r\n")) ? text.chopped(2) : text);
        });
    }

    void execute(const QStringList& lines)
    {
        db::Connection connection(folder->connectionString());
        db::Query query(connection);
        for (const QString& line : lines)
            query.addSql(line);
        query.execute();
    }
    void setBlob(int id, const QString& column, const QByteArray& bytes)
    {
        db::Connection connection(folder->connectionString());
        db::Query query(connection);
        query.addSql(
            QStringLiteral("update fid_main set %1=:file where id=%2").arg(column).arg(id));
        query.setFileParameter(bytes);
        query.execute();
    }
    QVariant field(int id, const QString& column)
    {
        db::Connection connection(folder->connectionString());
        db::Query query(connection);
        query.addSql(QStringLiteral("select %1 from fid_main where id=%2").arg(column).arg(id));
        query.open();
        return query.value(0);
    }
    QByteArray bytes(int id, const QString& column) { return field(id, column).toByteArray(); }

    // Makes every update of the column fail with the message.
    void refuseUpdates(const QString& column, const QString& message)
    {
        folder->database().refuseUpdates(QStringLiteral("fid_main"), column, message);
    }

    QStringList errors() const
    {
        QStringList texts;
        for (const MessageBox::Shown& shown : messages->shown())
            if (shown.flags & MessageBox::ErrorIcon)
                texts << shown.text;
        return texts;
    }
    QStringList notices() const
    {
        QStringList texts;
        for (const MessageBox::Shown& shown : messages->shown())
            if (!(shown.flags & MessageBox::ErrorIcon))
                texts << shown.text;
        return texts;
    }

    // A name as the program shows it after the engine kept it: SQL Server
    // keeps docname and picname in GBK, which has no direction or zero-width
    // characters; they come back as "?" and the code point shown is gone.
    static QString shownAfterStoring(QString shown)
    {
        if (!TestDatabase::embedded())
            shown.replace(QRegularExpression(QStringLiteral("<U\\+[0-9A-F]+>")),
                          QStringLiteral("?"));
        return shown;
    }

    QString tempFolder() const { return folder->file(QStringLiteral("temp")); }
    // Every file below the temp folder, hidden ones too, by its path inside
    // it, sorted.
    QStringList tempFiles() const
    {
        QStringList files;
        QDirIterator each(tempFolder(), QDir::Files | QDir::Hidden | QDir::System,
                          QDirIterator::Subdirectories);
        while (each.hasNext())
            files << QDir(tempFolder()).relativeFilePath(each.next());
        files.sort();
        return files;
    }

    template <typename T> T* control(const QString& name)
    {
        auto* found = box->findChild<T*>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }
};
