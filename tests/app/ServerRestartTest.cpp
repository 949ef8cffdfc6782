// The main window while its SQL Server stops and starts again: the actions
// made while the server is away report it, and once it is back the operator
// carries on without restarting the program. Runs on a T-SQL server of its
// own that the test may stop, started by the scripts in VARDENIX_TSQL_SERVER
// (../shared/tsql-server) on another port.

#include "../browser/BrowserTestSupport.h"
#include "browser/RecordBrowser.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QProcess>
#include <QtTest>
#include <memory>
#include <unistd.h>

namespace {

const QString Port = QStringLiteral("14330");

// Runs start.sh or stop.sh of the server on the test's port; the server's
// own output when it fails.
QString serverScript(const QString& script)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TSQL_PORT"), Port);
    // The program signs in only on encrypted sessions.
    environment.insert(QStringLiteral("TSQL_TLS"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(qEnvironmentVariable("VARDENIX_TSQL_SERVER") + u'/' + script, {});
    if (!process.waitForFinished(180000) || process.exitCode() != 0)
        return QString::fromUtf8(process.readAll()) + process.errorString();
    return QString();
}

} // namespace

class ServerRestartTest final : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_fixture;
    bool m_serverStarted = false;

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("VARDENIX_TSQL_SERVER"))
            QSKIP("needs a T-SQL server of its own to stop and start (VARDENIX_TSQL_SERVER)");
        if (geteuid() != 0)
            QSKIP("the T-SQL server's scripts run as root");
        const QString failed = serverScript(QStringLiteral("start.sh"));
        m_serverStarted = true;
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        // Every database of this test lives on that server.
        qputenv("VARDENIX_MSSQL",
                QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=master;Data Source=127.0.0.1,"
                               "%1;Password=Vardenix.Test1;Persist Security Info=True;User ID=sa")
                    .arg(Port)
                    .toUtf8());
    }

    // The server of this test ends with it, whatever became of the test.
    void cleanupTestCase()
    {
        if (!m_serverStarted)
            return;
        TestDatabase::dropServerDatabases();
        const QString failed = serverScript(QStringLiteral("stop.sh"));
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }

    void init() { m_fixture = std::make_unique<MainWindowFixture>(); }
    void cleanup() { m_fixture.reset(); }

    void operatorCarriesOnAfterARestart()
    {
        m_fixture->createDatabase(TwoColumns(), false, false);
        InsertRecords(*m_fixture, Records(3));
        {
            TMainBox box;
            box.show();
            Button(box, "SpeedButton3")->click();
            QCOMPARE(PageIds(box), QList<int>({1, 2, 3}));

            QString failed = serverScript(QStringLiteral("stop.sh"));
            QVERIFY2(failed.isEmpty(), qPrintable(failed));
            Button(box, "SpeedButton3")->click();
            QCOMPARE(m_fixture->errorTexts().size(), 1);

            failed = serverScript(QStringLiteral("start.sh"));
            QVERIFY2(failed.isEmpty(), qPrintable(failed));
            Button(box, "SpeedButton3")->click();
            QCOMPARE(m_fixture->errorTexts().size(), 1);
            QCOMPARE(PageIds(box), QList<int>({1, 2, 3}));

            // Writing works again too.
            MainWindowFixture::control<QAction>(box, QStringLiteral("A1"))->trigger();
            QAbstractItemModel* model = RecordGrid(box)->model();
            QVERIFY(model->setData(model->index(3, 0), QStringLiteral("重启后")));
            box.browser().recordGrid().setCurrentRow(0);
            QCOMPARE(m_fixture->errorTexts().size(), 1);
        }
        QCOMPARE(m_fixture->rows(QStringLiteral("select f_1 from fid_main where id=4")),
                 QList<QStringList>{{QStringLiteral("重启后")}});
    }
};

QTEST_MAIN(ServerRestartTest)
#include "ServerRestartTest.moc"
