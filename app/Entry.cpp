#include "Entry.h"

#include "Main.h"
#include "attachments/PictureHelper.h"
#include "common/ApplicationTitle.h"
#include "common/ErrorReport.h"
#include "platform/db/OdbcClientFiles.h"
#include "platform/db/OdbcEngine.h"
#include "platform/db/ResultRows.h"
#include "platform/paths/ProgramPaths.h"
#include "signin/Login.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

int RunProgram(int argc, char** argv)
{
    if (PictureHelper::isHelperCall(argc, argv))
        return PictureHelper::serve(argc, argv);
    db::keepBigBlocksApart();
    // Set while the program has one thread: it points the ODBC driver at
    // settings files of the program's own.
    db::odbc::useClientFiles();
    // An administrator who places the server's certificate beside the
    // program makes every login verify the server. An installed program
    // looks beside its executable (the office's file, for every user)
    // before the user's own program folder.
    const QString certificates = QStringLiteral("sqlserver-ca.pem");
    db::setTrustedCertificatesFiles(
        {QFileInfo(ProgramPaths::executablePath()).path() + u'/' + certificates,
         ProgramPaths::folder() + certificates});
    QApplication application(argc, argv);
    // Qt's own windows and menus (the file dialogs, the edit boxes' context
    // menu) speak the program's language too.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_CN"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    // The application title; the main window replaces it with the title setting.
    SetApplicationTitle(QStringLiteral("Vardenix"));
    Q_INIT_RESOURCE(forms);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/forms/vardenix.svg")));
    try {
        bool signedIn = false;
        {
            auto login = std::make_unique<TLoginBox>();
            LoginBox = login.get();
            login->exec();
            signedIn = login->SignedIn;
            LoginBox = nullptr;
        }
        if (signedIn) {
            TMainBox window;
            window.showMaximized();
            QApplication::exec();
        }
    } catch (...) {
        ReportCurrentException();
    }
    return 0;
}
