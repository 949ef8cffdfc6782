#include "signin/Login.h"

#include "common/StepProgress.h"
#include "common/_md5.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "signin/FirstRunSchema.h"
#include "signin/Initdb.h"
#include "signin/Settings.h"
#include "support/MessageRecorder.h"
#include "support/ModalDriver.h"
#include "support/SilentServer.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QtTest>
#include <memory>

namespace {

const QString ConnectFailed = QStringLiteral("连接数据库错误，请重新设置你的数据库连接!");
const QString WrongPassword = QStringLiteral("用户名或密码错误，不能登录!");
const QString ThreeFailures = QStringLiteral("三次登录都没有成功，程序退出!");
const QString LatinRefused =
    QStringLiteral("数据库的排序规则是 Latin1_General_CI_AS(代码页1252)，不能保存中文。"
                   "请把数据库的排序规则改为 Chinese_PRC_CI_AS 后再连接。");
const QString LatinCollation = QStringLiteral("Latin1_General_CI_AS");

// A text, an integer and a real column with both attachment groups.
const TableDesign ThreeColumns{{{QStringLiteral("名称"), ColumnType::Text, 20},
                                {QStringLiteral("数量"), ColumnType::Integer, 10},
                                {QStringLiteral("单价"), ColumnType::Real, 10}}};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// The sign-in dialog on both of its pages, against the test's databases.
class LoginTest final : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<MessageRecorder> m_messages;

    template <typename T> static T* control(QWidget& box, const QString& name)
    {
        auto* widget = box.findChild<T*>(name);
        if (!widget)
            qFatal("no control %s", qPrintable(name));
        return widget;
    }
    static QWidget* page(TLoginBox& box)
    {
        return control<QStackedWidget>(box, "PageControl1")->currentWidget();
    }

    // The database the tests sign in to.
    TestDatabase& demo() { return m_folder->database(QStringLiteral("demo")); }
    QString connectionString() { return demo().connectionString(); }
    void configure(const TestDatabase& database)
    {
        WriteConnectionSettings(database.host(), database.user(), "1433", database.name(),
                                database.password());
    }
    void configure() { configure(demo()); }
    // The settings of the demo database with another database name.
    void configureDatabaseName(const QString& name)
    {
        WriteConnectionSettings(demo().host(), demo().user(), "1433", name, demo().password());
    }
    void typeConnection(TLoginBox& box, const TestDatabase& database, const QString& password)
    {
        control<QLineEdit>(box, "Edit1")->setText(database.host());
        control<QLineEdit>(box, "Edit3")->setText(database.name());
        control<QLineEdit>(box, "Edit4")->setText(database.user());
        control<QLineEdit>(box, "Edit5")->setText(password);
    }

    void execute(const QStringList& lines) { demo().execute(lines); }
    void createTables()
    {
        execute(FirstRunBatch(MainTableSqlFor(ThreeColumns), TitleTableSqlFor(ThreeColumns)));
    }
    void addOperator(const QString& name, const QString& digest)
    {
        execute({QStringLiteral("INSERT INTO fid_user(user_name,user_password,user_alias,user_wr)"
                                " values('%1','%2','x',1);")
                     .arg(name, digest)});
    }
    QStringList tables() { return demo().tableNames(); }

    // Presses "登录" and answers the designer, when it opens, with confirm or
    // cancel; returns how many designers opened.
    int pressSignIn(TLoginBox& box, bool confirmDesigner = true)
    {
        ModalDriver<TInitdbBox> designer([confirmDesigner](TInitdbBox* window) {
            control<QPushButton>(*window, confirmDesigner ? "Button1" : "Button2")->click();
        });
        control<QPushButton>(box, "Button1")->click();
        return designer.handled();
    }
    void typePassword(TLoginBox& box, const QString& user, const QString& password)
    {
        control<QLineEdit>(box, "EUser")->setText(user);
        control<QLineEdit>(box, "EPassword")->setText(password);
    }

private slots:
    void init()
    {
        m_folder = std::make_unique<TestFolder>();
        m_messages = std::make_unique<MessageRecorder>();
    }
    void cleanup()
    {
        m_messages.reset();
        m_folder.reset();
    }

    void noSettingsFileOpensTheConnectionPage()
    {
        TLoginBox box;
        box.show();
        QCOMPARE(box.windowTitle(), QStringLiteral("连接设置"));
        QCOMPARE(page(box)->objectName(), QStringLiteral("TabSheet2"));
        QCOMPARE(box.size(), QSize(441, 268));
        QVERIFY(!(box.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!(box.windowFlags() & Qt::WindowSystemMenuHint));
        for (const char* name : {"Edit1", "Edit3", "Edit4", "Edit5"})
            QVERIFY(control<QLineEdit>(box, name)->text().isEmpty());
        auto* port = control<QLineEdit>(box, "Edit2");
        QCOMPARE(port->text(), QStringLiteral("1433"));
        QVERIFY(!port->isEnabled());
        QCOMPARE(control<QLineEdit>(box, "Edit5")->echoMode(), QLineEdit::Password);
        QVERIFY(!box.isConfigured());

        control<QPushButton>(box, "Button5")->click();
        QVERIFY(!box.isVisible());
        QVERIFY(!box.SignedIn);
        QVERIFY(!QFile::exists(SettingsFilePath()));
    }

    void emptyHostOpensTheConnectionPage()
    {
        WriteConnectionSettings("", "sa", "1433", "demo", "pw");
        TLoginBox box;
        box.show();
        QCOMPARE(page(box)->objectName(), QStringLiteral("TabSheet2"));
        QCOMPARE(control<QLineEdit>(box, "Edit3")->text(), QStringLiteral("demo"));
        QCOMPARE(control<QLineEdit>(box, "Edit5")->text(), QStringLiteral("pw"));
    }

    void configuredFileOpensTheSignInPage()
    {
        configure();
        WriteOperatorName("alice");
        TLoginBox box;
        box.show();
        QCOMPARE(box.windowTitle(), QStringLiteral("登录"));
        QCOMPARE(page(box)->objectName(), QStringLiteral("TabSheet1"));
        QCOMPARE(control<QLineEdit>(box, "EUser")->text(), QStringLiteral("alice"));
        QCOMPARE(control<QLineEdit>(box, "EPassword")->echoMode(), QLineEdit::Password);
        QCOMPARE(box.connectionString(), connectionString());
        QVERIFY(box.isConfigured());
        QCOMPARE(box.focusWidget(), control<QLineEdit>(box, "EPassword"));
    }

    void successfulTestWritesTheFiveKeysAndShowsSignIn()
    {
        TLoginBox box;
        box.show();
        // The embedded engine takes any password.
        const QString password = TestDatabase::embedded() ? "pw" : demo().password();
        typeConnection(box, demo(), password);
        control<QPushButton>(box, "Button3")->click();

        QCOMPARE(m_messages->texts(), QStringList{"连接数据库成功!"});
        QCOMPARE(m_messages->shown().first().title, QStringLiteral("提示"));
        QCOMPARE(m_messages->shown().first().flags, 0);
        if (TestDatabase::embedded()) {
            // The designer makes the database's file at the first sign-in.
            QVERIFY(!QFile::exists(m_folder->file("demo.db")));
            QCOMPARE(fileBytes(SettingsFilePath()),
                     QByteArray("[odbc]\nhost=+nredngd,\nuser=vc\nport=4665\ndatabase=ggpq\n"
                                "password=sy\n"));
        } else {
            const auto line = [](const char* key, const QString& value) {
                return key + ('=' + ScrambleText(value.toLatin1())) + '\n';
            };
            QCOMPARE(fileBytes(SettingsFilePath()),
                     "[odbc]\n" + line("host", demo().host()) + line("user", demo().user()) +
                         line("port", "1433") + line("database", demo().name()) +
                         line("password", password));
        }
        QCOMPARE(page(box)->objectName(), QStringLiteral("TabSheet1"));
        QCOMPARE(box.windowTitle(), QStringLiteral("登录"));
        QCOMPARE(box.connectionString(),
                 BuildConnectionString(demo().host(), demo().name(), demo().user(), password));

        // The configured flag was taken at creation: back on the connection
        // page, "取消" closes the dialog.
        control<QPushButton>(box, "Button6")->click();
        QCOMPARE(box.windowTitle(), QStringLiteral("连接设置"));
        control<QPushButton>(box, "Button5")->click();
        QVERIFY(!box.isVisible());
    }

    void failedTestWritesNothing()
    {
        configure();
        const QByteArray before = fileBytes(SettingsFilePath());
        TLoginBox box;
        box.show();
        control<QPushButton>(box, "Button6")->click();
        control<QLineEdit>(box, "Edit3")->setText(TestDatabase::missingName());
        control<QPushButton>(box, "Button3")->click();

        QCOMPARE(m_messages->texts(), QStringList{ConnectFailed});
        QCOMPARE(fileBytes(SettingsFilePath()), before);
        QCOMPARE(page(box)->objectName(), QStringLiteral("TabSheet2"));
        // The string of the failed test is the one the next sign-in uses.
        QCOMPARE(box.connectionString(),
                 BuildConnectionString(demo().host(), TestDatabase::missingName(), demo().user(),
                                       demo().password()));

        // Configured at creation: "取消" goes back to the sign-in page.
        control<QPushButton>(box, "Button5")->click();
        QCOMPARE(page(box)->objectName(), QStringLiteral("TabSheet1"));
        QVERIFY(box.isVisible());
    }

    // Waiting for a server that takes the connection and never answers is
    // given up with "取消": no message, nothing saved, the page as it was.
    void givenUpConnectionTestWritesNothing()
    {
        const SilentServer server;
        QVERIFY(server.listening());
        const QString host = server.dataSource();

        configure();
        const QByteArray before = fileBytes(SettingsFilePath());
        TLoginBox box;
        box.show();
        control<QPushButton>(box, "Button6")->click();
        control<QLineEdit>(box, "Edit1")->setText(host);
        QStringList waits;
        StepProgress::setAnswerForTesting([&](const QString& what, qint64 done, qint64) {
            waits << what;
            return done < 300;
        });
        control<QPushButton>(box, "Button3")->click();
        StepProgress::setAnswerForTesting({});

        QVERIFY(waits.contains(QStringLiteral("正在连接数据库服务器")));
        QCOMPARE(m_messages->texts(), QStringList());
        QCOMPARE(fileBytes(SettingsFilePath()), before);
        QCOMPARE(page(box)->objectName(), QStringLiteral("TabSheet2"));
        QCOMPARE(control<QLineEdit>(box, "Edit1")->text(), host);
    }

    // A database that would keep Chinese text as "?" is refused on SQL
    // Server: the test keeps no settings.
    void connectionTestRefusesALatinDatabase()
    {
        if (TestDatabase::embedded())
            QSKIP("the embedded engine keeps Unicode text and has no collation to refuse");
        SKIP_ON_SERVER_DIFFERENCE("the test server makes databases of Chinese_PRC_CI_AS only");
        const TestDatabase& latin = m_folder->database("latin", LatinCollation);
        TLoginBox box;
        box.show();
        typeConnection(box, latin, latin.password());
        control<QPushButton>(box, "Button3")->click();
        QCOMPARE(m_messages->texts(), QStringList{LatinRefused});
        QCOMPARE(m_messages->shown().first().flags, 0);
        QVERIFY(!QFile::exists(SettingsFilePath()));
        QCOMPARE(page(box)->objectName(), QStringLiteral("TabSheet2"));
    }

    // ... and not set up: no designer, no table.
    void firstRunRefusesALatinDatabase()
    {
        if (TestDatabase::embedded())
            QSKIP("the embedded engine keeps Unicode text and has no collation to refuse");
        SKIP_ON_SERVER_DIFFERENCE("the test server makes databases of Chinese_PRC_CI_AS only");
        const TestDatabase& latin = m_folder->database("latin", LatinCollation);
        configure(latin);
        TLoginBox box;
        box.show();
        QCOMPARE(pressSignIn(box), 0);
        QCOMPARE(m_messages->texts(), QStringList{LatinRefused});
        QVERIFY(latin.tableNames().isEmpty());
        QVERIFY(control<QLineEdit>(box, "EUser")->isEnabled());
        QCOMPARE(box.signInAttempts(), 1);
        QVERIFY(box.isVisible());
    }

    void firstRunThenSignInAsRoot()
    {
        configure();
        TLoginBox box;
        box.show();
        QCOMPARE(pressSignIn(box), 1);

        QVERIFY(m_messages->texts().isEmpty());
        QCOMPARE(tables(), (QStringList{"fid_main", "fid_set", "fid_title", "fid_user"}));
        auto* user = control<QLineEdit>(box, "EUser");
        QCOMPARE(user->text(), QStringLiteral("root"));
        QVERIFY(!user->isEnabled());
        QCOMPARE(control<QLineEdit>(box, "EPassword")->text(), QStringLiteral("480517"));
        QCOMPARE(box.focusWidget(), control<QLineEdit>(box, "EPassword"));
        QVERIFY(!box.SignedIn);
        QCOMPARE(box.signInAttempts(), 1);

        {
            db::Connection connection(connectionString());
            db::Query query(connection);
            query.addSql("select user_name,user_password,user_alias,user_wr from fid_user");
            query.open();
            QCOMPARE(query.recordCount(), 1);
            QCOMPARE(query.text(0), QStringLiteral("root"));
            QCOMPARE(query.text(1), PasswordDigest("480517"));
            QCOMPARE(query.text(2), QStringLiteral("管理员"));
            QCOMPARE(query.text(3), QStringLiteral("1"));
            query.close();
            query.clearSql();
            query.addSql("select options,parameter from fid_set order by id");
            query.open();
            QCOMPARE(query.text(0) + "=" + query.text(1), QStringLiteral("title=Vardenix"));
            query.next();
            QCOMPARE(query.text(0) + "=" + query.text(1), QStringLiteral("pagesize=50"));
        }

        QCOMPARE(pressSignIn(box), 0);
        QVERIFY(box.SignedIn);
        QVERIFY(!box.isVisible());
        QCOMPARE(ReadConnectionSettings().dbuser, QStringLiteral("root"));
        QCOMPARE(box.signInAttempts(), 2);
    }

    void cancelledDesignerCreatesNothing()
    {
        configure();
        TLoginBox box;
        box.show();
        QCOMPARE(pressSignIn(box, false), 1);
        if (TestDatabase::embedded())
            QVERIFY(!QFile::exists(m_folder->file("demo.db")));
        QVERIFY(tables().isEmpty());
        QVERIFY(control<QLineEdit>(box, "EUser")->isEnabled());
        QCOMPARE(box.signInAttempts(), 1);
    }

    void failingBatchLeavesNoTable()
    {
        configure();
        execute({"create table fid_set(id int NOT NULL IDENTITY (1, 1),options varchar(24),"
                 "parameter varchar(128));"});
        TLoginBox box;
        box.show();
        QCOMPARE(pressSignIn(box), 1);

        QCOMPARE(m_messages->shown().size(), 1); // the standard error report
        QCOMPARE(m_messages->shown().first().flags, MessageBox::ErrorIcon);
        QCOMPARE(tables(), QStringList{"fid_set"});
        QVERIFY(control<QLineEdit>(box, "EUser")->isEnabled());
        QVERIFY(box.isVisible());
    }

    void signInOutcomes_data()
    {
        QTest::addColumn<QStringList>("passwords");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("right at once") << QStringList{"secret1"} << true << QStringList{};
        QTest::newRow("two wrong then right") << QStringList{"a", "b", "secret1"} << true
                                              << QStringList{WrongPassword, WrongPassword};
        QTest::newRow("three wrong")
            << QStringList{"a", "b", "c"} << false
            << QStringList{WrongPassword, WrongPassword, WrongPassword, ThreeFailures};
    }

    void signInOutcomes()
    {
        QFETCH(QStringList, passwords);
        QFETCH(bool, signedIn);
        QFETCH(QStringList, messages);
        configure();
        createTables();
        addOperator("alice", PasswordDigest("secret1"));
        TLoginBox box;
        box.show();
        for (const QString& password : passwords) {
            typePassword(box, "alice", password);
            QCOMPARE(pressSignIn(box), 0);
        }
        QCOMPARE(m_messages->texts(), messages);
        QTRY_VERIFY(!box.isVisible());
        QCOMPARE(box.SignedIn, signedIn);
        QCOMPARE(ReadConnectionSettings().dbuser, signedIn ? QStringLiteral("alice") : QString());
        QCOMPARE(box.signInAttempts(), passwords.size());
    }

    void refusedNames_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("unknown name") << "bob"
                                      << "secret1";
        QTest::newRow("quote trick") << "x' OR '1'='1"
                                     << "anything";
        QTest::newRow("comment trick") << "alice'--"
                                       << "anything";
        QTest::newRow("upper-case stored digest") << "carol"
                                                  << "secret1";
    }

    void refusedNames()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        configure();
        createTables();
        addOperator("alice", PasswordDigest("secret1"));
        addOperator("carol", PasswordDigest("secret1").toUpper());
        TLoginBox box;
        box.show();
        typePassword(box, user, password);
        pressSignIn(box);
        QCOMPARE(m_messages->texts(), QStringList{WrongPassword});
        QVERIFY(!box.SignedIn);
        QVERIFY(box.isVisible());
    }

    void connectionFailureEndsTheProgram()
    {
        configureDatabaseName(TestDatabase::missingName());
        TLoginBox box;
        box.show();
        pressSignIn(box);
        QCOMPARE(m_messages->texts(), QStringList{ConnectFailed});
        QTRY_VERIFY(!box.isVisible());
        QVERIFY(!box.SignedIn);
        QCOMPARE(box.signInAttempts(), 1);
    }

    void probeSucceedsWithoutRoot()
    {
        configure();
        createTables();
        execute({"delete from fid_user"});
        TLoginBox box;
        box.show();
        typePassword(box, "root", "480517");
        pressSignIn(box);
        QCOMPARE(m_messages->texts(), QStringList{WrongPassword});
        QCOMPARE(tables().size(), 4);
    }

    void enterAndEscapeInTheBoxes()
    {
        configure();
        createTables();
        TLoginBox box;
        box.show();
        auto* user = control<QLineEdit>(box, "EUser");
        auto* password = control<QLineEdit>(box, "EPassword");
        user->setText("root");
        password->setText("480517");

        user->setFocus();
        QTest::keyClick(user, Qt::Key_Return);
        QCOMPARE(box.focusWidget(), password);
        QTest::keyClick(password, Qt::Key_Return);
        QCOMPARE(box.focusWidget(), control<QPushButton>(box, "Button1"));
        QVERIFY(!box.SignedIn);
        QCOMPARE(box.signInAttempts(), 0);

        QTest::keyClick(password, Qt::Key_Escape);
        QVERIFY(password->text().isEmpty());
        QCOMPARE(user->text(), QStringLiteral("root"));
        QTest::keyClick(user, Qt::Key_Escape);
        QVERIFY(user->text().isEmpty());
        QVERIFY(box.isVisible());

        // Escape elsewhere and a close request leave the dialog open.
        QTest::keyClick(&box, Qt::Key_Escape);
        box.close();
        QVERIFY(box.isVisible());
    }

    void exitButtonClosesWithoutSigningIn()
    {
        configure();
        TLoginBox box;
        box.show();
        control<QPushButton>(box, "Button2")->click();
        QVERIFY(!box.isVisible());
        QVERIFY(!box.SignedIn);
        QVERIFY(ReadConnectionSettings().dbuser.isEmpty());
    }
};

QTEST_MAIN(LoginTest)
#include "LoginTest.moc"
