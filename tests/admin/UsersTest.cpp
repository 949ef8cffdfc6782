#include "AdminFixture.h"
#include "admin/Addmdiuser.h"
#include "admin/OperatorAdmin.h"
#include "app/Main.h"
#include "signin/Login.h"
#include "signin/Settings.h"
#include "support/ModalDriver.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

const QString ListStatement = QStringLiteral(
    "select id,user_name,user_alias,user_wr from fid_user where user_name<>'root' order by id");
const QString Added = QStringLiteral("已经成功添加了一个数据库操作员");
const QString Duplicate = QStringLiteral("已经存在该用户帐号,添加用户帐号操作中止!");
const QString Updated = QStringLiteral("已经成功更新了用户!");
const QString DeleteQuestion = QStringLiteral("你真的要删除该用户吗?");

// What the operator types into the operator dialog.
struct Entry
{
    QString account;
    QString alias;
    QString password;
    QString repeated;
    bool readOnly = false;
};

} // namespace

// The Users view of the main window as root sees it: the list, and adding,
// modifying and deleting operators through the operator dialog.
class UsersTest final : public QObject
{
    Q_OBJECT

    AdminFixture m_db;
    std::unique_ptr<TMainBox> m_window;

    QTableView* grid() { return AdminFixture::control<QTableView>(*m_window, "DBGrid2"); }
    void press(const char* button)
    {
        AdminFixture::control<QToolButton>(*m_window, QString::fromLatin1(button))->click();
    }
    QStringList listedNames()
    {
        QStringList names;
        const int column = 1; // user_name
        for (int row = 0; row < grid()->model()->rowCount(); ++row)
            names << grid()->model()->index(row, column).data().toString();
        return names;
    }
    void openWindow()
    {
        m_window = std::make_unique<TMainBox>();
        m_window->show();
    }
    // The Users view, entered as root through the menu.
    void enterUsersView() { AdminFixture::control<QAction>(*m_window, "U1")->trigger(); }
    void openUsersView()
    {
        openWindow();
        enterUsersView();
    }
    void selectOperator(const QString& name)
    {
        const int row = static_cast<int>(listedNames().indexOf(name));
        QVERIFY(row >= 0);
        grid()->setCurrentIndex(grid()->model()->index(row, 1));
    }

    // Opens the dialog with the button, lets look() see it as it opened,
    // types the entry and confirms; a refused entry is then cancelled.
    void fillAndConfirm(const char* button, const Entry& entry,
                        const std::function<void(TAddMdiUserBox*)>& look = {})
    {
        const ModalDriver<TAddMdiUserBox> dialog([entry, look](TAddMdiUserBox* box) {
            if (look)
                look(box);
            if (box->Edit1->isEnabled())
                box->Edit1->setText(entry.account);
            box->Edit2->setText(entry.alias);
            box->Edit3->setText(entry.password);
            box->Edit4->setText(entry.repeated);
            box->CheckBox1->setChecked(entry.readOnly);
            box->Button1->click();
            // A refused entry leaves the dialog open: leave it with 取消.
            if (box->isVisible())
                box->Button2->click();
        });
        press(button);
    }

private slots:
    void init()
    {
        m_db.setUp();
        m_db.createDatabase();
    }
    void cleanup()
    {
        m_window.reset();
        m_db.tearDown();
    }

    void listLeavesOutRoot()
    {
        m_db.addOperator("clerk", "张三", "1");
        m_db.addOperator("reader", "李四", "0");
        openWindow();
        m_db.recordStatements();
        enterUsersView();
        QCOMPARE(m_db.sent, QStringList({ListStatement}));
        QVERIFY(m_db.messages().shown().isEmpty());

        QCOMPARE(listedNames(), QStringList({"clerk", "reader"}));
        QAbstractItemModel* model = grid()->model();
        QCOMPARE(model->columnCount(), 4);
        const QStringList titles = {"用户序号", "用户帐号", "用户名称", "修改权限"};
        for (int column = 0; column < 4; ++column) {
            QCOMPARE(model->headerData(column, Qt::Horizontal).toString(), titles.at(column));
            QCOMPARE(Qt::Alignment(
                         model->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt()),
                     Qt::Alignment(Qt::AlignCenter));
        }
        QCOMPARE(model->index(0, 2).data().toString(), QStringLiteral("张三"));
        QCOMPARE(model->index(1, 3).data().toString(), QStringLiteral("0"));
        const QHeaderView* header = grid()->horizontalHeader();
        QCOMPARE(header->sectionSize(1), 120);
        QCOMPARE(header->sectionSize(2), 120);
        QCOMPARE(header->sectionSize(3), 80);

        // Read-only: the grid offers no editing.
        QVERIFY(!(model->flags(model->index(0, 2)) & Qt::ItemIsEditable));
        QCOMPARE(grid()->editTriggers(), QAbstractItemView::NoEditTriggers);

        // "显示所有用户" reads the list again.
        m_db.addOperator("late", "王五", "1");
        m_db.recordStatements();
        press("ShowAllUser");
        QCOMPARE(m_db.sent, QStringList({ListStatement}));
        QCOMPARE(listedNames(), QStringList({"clerk", "reader", "late"}));
    }

    void addStoresTheOperator_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("right");
        QTest::newRow("may modify") << "kez042"
                                    << "零零柒"
                                    << "secret" << false << "1";
        QTest::newRow("read-only") << "reader"
                                   << "李四"
                                   << "零零柒" << true << "0";
        // Quotes are stored as typed, and the operator still signs in.
        QTest::newRow("quotes in name and alias") << "o'neil"
                                                  << "O'Neil 's"
                                                  << "pa'ss'word" << false << "1";
    }
    void addStoresTheOperator()
    {
        QFETCH(QString, account);
        QFETCH(QString, alias);
        QFETCH(QString, password);
        QFETCH(bool, readOnly);
        QFETCH(QString, right);
        openUsersView();

        QString caption;
        QString buttonText;
        m_db.recordStatements();
        fillAndConfirm("SpeedButton4", {account, alias, password, password, readOnly},
                       [&caption, &buttonText](TAddMdiUserBox* box) {
                           caption = box->windowTitle();
                           buttonText = box->Button1->text();
                       });
        QCOMPARE(caption, QStringLiteral("添加新用户"));
        QCOMPARE(buttonText, QStringLiteral("添加"));
        QCOMPARE(m_db.messages().texts(), QStringList({Added}));
        QCOMPARE(m_db.messages().shown().at(0).flags, 0);

        const QString quoted = QString(account).replace('\'', "''");
        const QString quotedAlias = QString(alias).replace('\'', "''");
        const QString digest = PasswordDigest(password);
        QCOMPARE(
            m_db.sent,
            QStringList({"select id from fid_user where user_name='" + quoted + "'",
                         "INSERT INTO fid_user(user_name,user_password,user_alias,user_wr) "
                         "values('" +
                             quoted + "','" + digest + "','" + quotedAlias + "'," + right + ");",
                         ListStatement}));
        QCOMPARE(m_db.operators().last(), QStringList({account, digest, alias, right}).join('|'));
        QCOMPARE(listedNames(), QStringList({account}));

        // The new operator signs in through the sign-in dialog with the typed password.
        m_window.reset();
        m_db.messages().clear();
        TLoginBox login;
        AdminFixture::control<QLineEdit>(login, "EUser")->setText(account);
        AdminFixture::control<QLineEdit>(login, "EPassword")->setText(password);
        AdminFixture::control<QPushButton>(login, "Button1")->click();
        QVERIFY2(m_db.messages().shown().isEmpty(), qPrintable(m_db.messages().texts().join('\n')));
        QVERIFY(login.SignedIn);
        QCOMPARE(ReadConnectionSettings().dbuser, account);
    }

    void addRefusesAnExistingAccount_data()
    {
        QTest::addColumn<QString>("account");
        QTest::newRow("root") << "root";
        QTest::newRow("an operator") << "clerk";
        QTest::newRow("letter case of an operator") << "CLERK";
    }
    void addRefusesAnExistingAccount()
    {
        QFETCH(QString, account);
        m_db.addOperator("clerk", "张三", "1");
        openUsersView();
        const QStringList before = m_db.operators();
        m_db.recordStatements();
        fillAndConfirm("SpeedButton4", {account, "新人", "123456", "123456"});
        QCOMPARE(m_db.messages().texts(), QStringList({Duplicate}));
        QCOMPARE(m_db.sent,
                 QStringList({"select id from fid_user where user_name='" + account + "'"}));
        QCOMPARE(m_db.operators(), before);
    }

    // Nothing reaches the database when the dialog is left or refuses.
    void addWritesNothingWithoutConfirmation_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::newRow("cancelled") << "clerk"
                                   << "" << QString();
        QTest::newRow("5 characters") << "clerk"
                                      << "12345" << QStringLiteral("密码的位数至少6位!");
        QTest::newRow("account too long")
            << "abcdefghijklmnopq"
            << "123456" << QStringLiteral("用户帐号太长，最多16个字节(一个汉字占两个字节)!");
    }
    void addWritesNothingWithoutConfirmation()
    {
        QFETCH(QString, account);
        QFETCH(QString, password);
        QFETCH(QString, message);
        openUsersView();
        const QStringList before = m_db.operators();
        m_db.recordStatements();
        if (message.isEmpty()) {
            const ModalDriver<TAddMdiUserBox> dialog([account](TAddMdiUserBox* box) {
                box->Edit1->setText(account);
                box->Button2->click();
            });
            press("SpeedButton4");
            QVERIFY(m_db.messages().shown().isEmpty());
        } else {
            fillAndConfirm("SpeedButton4", {account, "", password, password});
            QCOMPARE(m_db.messages().texts(), QStringList({message}));
        }
        QVERIFY(m_db.sent.isEmpty());
        QCOMPARE(m_db.operators(), before);
    }

    void modifyShowsTheSelectedOperator_data()
    {
        QTest::addColumn<QString>("right");
        QTest::addColumn<bool>("checked");
        QTest::newRow("1") << "1" << false;
        QTest::newRow("0") << "0" << true;
        QTest::newRow("NULL") << "NULL" << true;
        QTest::newRow("2") << "2" << true;
    }
    void modifyShowsTheSelectedOperator()
    {
        QFETCH(QString, right);
        QFETCH(bool, checked);
        m_db.addOperator("first", "甲", "1");
        m_db.addOperator("clerk", "张三", right);
        openUsersView();
        selectOperator("clerk");

        // What the dialog shows is taken as it opens and checked after it closed.
        QStringList shown;
        bool accountEnabled = true;
        bool noteVisible = false;
        bool boxChecked = !checked;
        const ModalDriver<TAddMdiUserBox> dialog([&](TAddMdiUserBox* box) {
            shown = QStringList({box->windowTitle(), box->Button1->text(), box->Edit1->text(),
                                 box->Edit2->text(), box->Edit3->text(), box->Edit4->text()});
            accountEnabled = box->Edit1->isEnabled();
            noteVisible = box->LabelPassword->isVisible();
            boxChecked = box->CheckBox1->isChecked();
            box->Button2->click();
        });
        const QStringList before = m_db.operators();
        m_db.recordStatements();
        press("SpeedButton5");
        QCOMPARE(shown, QStringList({"修改用户", "修改", "clerk", "张三", "", ""}));
        QVERIFY(!accountEnabled);
        QVERIFY(noteVisible);
        QCOMPARE(boxChecked, checked);
        QVERIFY(m_db.sent.isEmpty());
        QCOMPARE(m_db.operators(), before);
    }

    void modifyWritesWhatWasChanged_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("alias");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("statement"); // %1: the row key, %2: the digest
        QTest::addColumn<QString>("right");
        QTest::newRow("new password")
            << "newpass"
            << "张老三" << true
            << "update fid_user set user_alias='张老三',user_password='%2',user_wr=0 where id=%1;"
            << "0";
        QTest::newRow("password kept, rights value quoted")
            << ""
            << "张三丰" << false
            << "update fid_user set user_alias='张三丰',user_wr='1' where id=%1;"
            << "1";
        QTest::newRow("quote in the alias")
            << ""
            << "O'Neil" << false
            << "update fid_user set user_alias='O''Neil',user_wr='1' where id=%1;"
            << "1";
    }
    void modifyWritesWhatWasChanged()
    {
        QFETCH(QString, password);
        QFETCH(QString, alias);
        QFETCH(bool, readOnly);
        QFETCH(QString, statement);
        QFETCH(QString, right);
        m_db.addOperator("first", "甲", "1");
        m_db.addOperator("clerk", "张三", "0", "oldpass");
        openUsersView();
        selectOperator("clerk");
        const QString key = grid()->model()->index(1, 0).data().toString();
        const QString digest = PasswordDigest(password.isEmpty() ? "oldpass" : password);

        m_db.recordStatements();
        fillAndConfirm("SpeedButton5", {"", alias, password, password, readOnly});
        QCOMPARE(m_db.messages().texts(), QStringList({Updated}));
        QCOMPARE(m_db.sent,
                 QStringList(
                     {QString(statement).replace("%1", key).replace("%2", digest), ListStatement}));
        const QStringList stored = m_db.operators();
        QCOMPARE(stored.at(1),
                 QStringList({"first", PasswordDigest("123456"), "甲", "1"}).join('|'));
        QCOMPARE(stored.at(2), QStringList({"clerk", digest, alias, right}).join('|'));
    }

    // With no operator listed only cancelling leaves the dialog.
    void modifyOnAnEmptyList()
    {
        openUsersView();
        QCOMPARE(grid()->model()->rowCount(), 0);
        QStringList shown;
        bool accountEnabled = true;
        bool openAfterConfirm = false;
        const ModalDriver<TAddMdiUserBox> dialog([&](TAddMdiUserBox* box) {
            shown = QStringList({box->Edit1->text(), box->Edit2->text()});
            accountEnabled = box->Edit1->isEnabled();
            box->Edit3->setText(QStringLiteral("123456"));
            box->Edit4->setText(QStringLiteral("123456"));
            box->Button1->click();
            openAfterConfirm = box->isVisible();
            box->Button2->click();
        });
        const QStringList before = m_db.operators();
        m_db.recordStatements();
        press("SpeedButton5");
        QCOMPARE(shown, QStringList({"", ""}));
        QVERIFY(!accountEnabled);
        QVERIFY(openAfterConfirm);
        QCOMPARE(m_db.messages().texts(), QStringList({"用户登录帐号不能为空!"}));
        QVERIFY(m_db.sent.isEmpty());
        QCOMPARE(m_db.operators(), before);
    }

    void deleteRemovesTheSelectedOperator_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("yes") << int(MessageBox::IdYes);
        QTest::newRow("no") << int(MessageBox::IdNo);
    }
    void deleteRemovesTheSelectedOperator()
    {
        QFETCH(int, answer);
        m_db.addOperator("clerk", "张三", "1");
        m_db.addOperator("reader", "李四", "0");
        openUsersView();
        selectOperator("reader");
        m_db.recordStatements();
        m_db.messages().presetAnswer(answer);
        press("SpeedButton11");
        const QStringList sent = m_db.sent;

        QCOMPARE(m_db.messages().texts(), QStringList({DeleteQuestion}));
        QCOMPARE(m_db.messages().shown().at(0).title, QStringLiteral("提示"));
        QCOMPARE(m_db.messages().shown().at(0).flags, 4);
        QVERIFY(!sent.contains(ListStatement)); // the list is not read again
        QStringList names;
        for (const QString& row : m_db.operators())
            names << row.section('|', 0, 0);
        if (answer == MessageBox::IdYes) {
            QCOMPARE(names, QStringList({"root", "clerk"}));
            QCOMPARE(listedNames(), QStringList({"clerk"}));
            QCOMPARE(m_window->admin().operatorQuery().recordCount(), 1);
        } else {
            QVERIFY(sent.isEmpty());
            QCOMPARE(names, QStringList({"root", "clerk", "reader"}));
            QCOMPARE(listedNames(), QStringList({"clerk", "reader"}));
        }
    }

    void changesElsewhere_data()
    {
        QTest::addColumn<QString>("elsewhere"); // what another client saved after the list
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("stored"); // user_name|user_alias afterwards
        const QString removeClerk = "delete from fid_user where user_name='clerk';";
        const QStringList withoutClerk{"root|管理员", "first|甲"};
        QTest::newRow("modify, removed elsewhere")
            << removeClerk << "SpeedButton5"
            << "这个用户已不在数据库中,可能已被别人删除,没有更新。请点显示所有用户刷新后再试。"
            << withoutClerk;
        QTest::newRow("delete, changed elsewhere")
            << "update fid_user set user_alias='张老三' where user_name='clerk';"
            << "SpeedButton11"
            << "这个用户在列出之后已被别人修改或删除"
            << QStringList{"root|管理员", "first|甲", "clerk|张老三"};
        QTest::newRow("delete, removed elsewhere")
            << removeClerk << "SpeedButton11"
            << "这个用户在列出之后已被别人修改或删除" << withoutClerk;
    }
    // Another client changed or removed the operator after the list was read:
    // nothing is written and no success is announced.
    void changesElsewhere()
    {
        QFETCH(QString, elsewhere);
        QFETCH(QString, button);
        QFETCH(QString, message);
        QFETCH(QStringList, stored);
        m_db.addOperator("first", "甲", "1");
        m_db.addOperator("clerk", "张三", "1");
        openUsersView();
        selectOperator("clerk");
        m_db.execute({elsewhere});

        if (button == "SpeedButton5") {
            fillAndConfirm("SpeedButton5", {"", "张三丰", "", "", false});
        } else {
            m_db.messages().presetAnswer(MessageBox::IdYes);
            press("SpeedButton11");
        }
        const QStringList texts = m_db.messages().texts();
        QVERIFY2(!texts.isEmpty() && texts.constLast().startsWith(message),
                 qPrintable(texts.join('\n')));
        QVERIFY(!texts.contains(Updated));
        QCOMPARE(m_db.rows("select user_name,user_alias from fid_user order by id"), stored);
        QVERIFY(listedNames().contains("clerk"));
    }

    void deleteFromAnEmptyListDoesNothing_data()
    {
        QTest::addColumn<bool>("listed");
        QTest::newRow("list not open") << false;
        QTest::newRow("no operators") << true;
    }
    void deleteFromAnEmptyListDoesNothing()
    {
        QFETCH(bool, listed);
        openWindow();
        if (listed)
            enterUsersView();
        m_db.recordStatements();
        m_window->admin().deleteOperator();
        QVERIFY(m_db.messages().shown().isEmpty());
        QVERIFY(m_db.sent.isEmpty());
    }
};

QTEST_MAIN(UsersTest)
#include "UsersTest.moc"
