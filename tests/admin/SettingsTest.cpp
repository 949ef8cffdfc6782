#include "AdminFixture.h"
#include "admin/Set.h"
#include "app/Main.h"
#include "support/ModalDriver.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>
#include <memory>

namespace {

const QString Done = QStringLiteral("已经成功更新设置!");

// What the dialog showed as it opened.
struct Seen
{
    QString title;
    int pageSize = 0;
    QStringList hidden;
    int repeatedRow = 0;
    QPoint centre;
    QPoint windowCentre; // of the main window meanwhile
};

} // namespace

// The settings dialog opened from the main window's toolbar, and what its
// confirmation writes.
class SettingsTest final : public QObject
{
    Q_OBJECT

    AdminFixture m_db;
    std::unique_ptr<TMainBox> m_window;

    void openWindow()
    {
        m_window = std::make_unique<TMainBox>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QVERIFY(m_db.messages().shown().isEmpty());
    }
    // Presses "设置", fills the dialog and confirms it; a refused entry is
    // then cancelled.
    Seen confirmSettings(const QString& password, const QString& repeated, const QString& title,
                         int pageSize)
    {
        Seen seen;
        const ModalDriver<TSetBox> dialog([=, &seen](TSetBox* box) {
            seen.title = box->Edit1->text();
            seen.pageSize = box->CSpinEdit1->value();
            for (QWidget* widget : box->findChildren<QWidget*>())
                if (widget->isHidden())
                    seen.hidden << widget->objectName();
            seen.hidden.sort();
            seen.repeatedRow = box->Edit3->y();
            seen.centre = box->frameGeometry().center();
            seen.windowCentre = MainBox->frameGeometry().center();
            box->Edit2->setText(password);
            box->Edit3->setText(repeated);
            if (!box->Edit1->isHidden()) {
                box->Edit1->setText(title);
                box->CSpinEdit1->setValue(pageSize);
            }
            box->Button1->click();
            if (box->isVisible())
                box->Button2->click();
        });
        AdminFixture::control<QToolButton>(*m_window, "SpeedButton9")->click();
        return seen;
    }
    QString digestOf(const QString& name)
    {
        return m_db.rows("select user_password from fid_user where user_name='" + name + "'")
            .value(0);
    }

private slots:
    void init() { m_db.setUp(); }
    void cleanup()
    {
        m_window.reset();
        m_db.tearDown();
    }

    void rootChangesTitlePageSizeAndPassword_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<QStringList>("statements");
        QTest::newRow("all three")
            << "newroot"
            << "档案管理" << 20
            << QStringList({"update fid_user set user_password='" + PasswordDigest("newroot") +
                                "' where user_name='root';",
                            "update fid_set  set parameter='档案管理' "
                            "where options='title';",
                            "update fid_set  set parameter='20' where "
                            "options='pagesize';"});
        QTest::newRow("password left empty")
            << ""
            << "Vardenix" << 1
            << QStringList({"update fid_set  set parameter='Vardenix' where options='title';",
                            "update fid_set  set parameter='1' where options='pagesize';"});
        QTest::newRow("largest page size, quote in the title")
            << ""
            << "O'Brien's" << 999999
            << QStringList({"update fid_set  set parameter='O''Brien''s' where options='title';",
                            "update fid_set  set parameter='999999' where options='pagesize';"});
    }
    void rootChangesTitlePageSizeAndPassword()
    {
        QFETCH(QString, password);
        QFETCH(QString, title);
        QFETCH(int, pageSize);
        QFETCH(QStringList, statements);
        m_db.createDatabase("root");
        m_db.execute({"update fid_set set parameter='旧标题' where options='title';",
                      "update fid_set set parameter='30' where options='pagesize';"});
        openWindow();
        const QString oldDigest = digestOf("root");

        m_db.recordStatements();
        const Seen seen = confirmSettings(password, password, title, pageSize);
        QCOMPARE(seen.title, QStringLiteral("旧标题"));
        QCOMPARE(seen.pageSize, 30);
        QVERIFY(seen.hidden.isEmpty());
        // Centred on the main window, give or take the rounding of odd sizes.
        QVERIFY2(qAbs(seen.centre.x() - seen.windowCentre.x()) <= 2 &&
                     qAbs(seen.centre.y() - seen.windowCentre.y()) <= 2,
                 qPrintable(QStringLiteral("%1,%2 against %3,%4")
                                .arg(seen.centre.x())
                                .arg(seen.centre.y())
                                .arg(seen.windowCentre.x())
                                .arg(seen.windowCentre.y())));

        QCOMPARE(m_db.messages().texts(), QStringList({Done}));
        QCOMPARE(m_db.messages().shown().at(0).flags, 0);
        QCOMPARE(m_db.sent, QStringList({statements.join(QString())}));
        QCOMPARE(m_db.option("title"), title);
        QCOMPARE(m_db.option("pagesize"), QString::number(pageSize));
        QCOMPARE(m_window->session().pageSize, pageSize);
        QCOMPARE(digestOf("root"), password.isEmpty() ? oldDigest : PasswordDigest(password));
        // The caption keeps the title the window started with.
        QCOMPARE(m_window->windowTitle(), QStringLiteral("旧标题"));
    }

    void otherOperatorChangesOnlyThePassword()
    {
        m_db.createDatabase("clerk");
        m_db.addOperator("clerk", "张三", "1", "oldpass");
        m_db.addOperator("other", "李四", "1", "oldpass");
        openWindow();
        const QString rootDigest = digestOf("root");
        const int pageSize = m_window->session().pageSize;

        m_db.recordStatements();
        const Seen seen = confirmSettings("零零柒", "零零柒", "ignored", 7);
        QCOMPARE(seen.hidden, QStringList({"CSpinEdit1", "Edit1", "Label1", "Label4", "Label5"}));
        QCOMPARE(seen.repeatedRow, 85);

        QCOMPARE(m_db.messages().texts(), QStringList({Done}));
        QCOMPARE(m_db.sent, QStringList({"update fid_user set user_password='" +
                                         PasswordDigest("零零柒") + "' where user_name='clerk';"}));
        QCOMPARE(digestOf("clerk"), PasswordDigest("零零柒"));
        QCOMPARE(digestOf("other"), PasswordDigest("oldpass"));
        QCOMPARE(digestOf("root"), rootDigest);
        QCOMPARE(m_db.option("title"), QStringLiteral("Vardenix"));
        QCOMPARE(m_db.option("pagesize"), QStringLiteral("50"));
        QCOMPARE(m_window->session().pageSize, pageSize);
    }

    void otherOperatorMustGiveAPassword()
    {
        m_db.createDatabase("clerk");
        m_db.addOperator("clerk", "张三", "1", "oldpass");
        openWindow();
        m_db.recordStatements();
        confirmSettings("", "", "", 0);
        QCOMPARE(m_db.messages().texts(), QStringList({"你还没有输入密码!"}));
        QVERIFY(m_db.sent.isEmpty());
        QCOMPARE(digestOf("clerk"), PasswordDigest("oldpass"));
    }

    void cancelWritesNothing()
    {
        m_db.createDatabase("root");
        openWindow();
        m_db.recordStatements();
        const ModalDriver<TSetBox> dialog([](TSetBox* box) {
            box->Edit2->setText("newroot");
            box->Edit3->setText("newroot");
            box->CSpinEdit1->setValue(9);
            box->Button2->click();
        });
        AdminFixture::control<QToolButton>(*m_window, "SpeedButton9")->click();
        QVERIFY(m_db.sent.isEmpty());
        QVERIFY(m_db.messages().shown().isEmpty());
        QCOMPARE(m_window->session().pageSize, 50);
    }

    void rowsRemovedElsewhere_data()
    {
        QTest::addColumn<QString>("operatorName");
        QTest::addColumn<QString>("elsewhere"); // what another client did after the sign-in
        QTest::newRow("the operator removed by root")
            << "clerk"
            << "delete from fid_user where user_name='clerk';";
        QTest::newRow("the title option removed") << "root"
                                                  << "delete from fid_set where options='title';";
    }
    // The command changes every row it names or none: a row that another
    // client removed leaves the rest unchanged, and no success is announced.
    void rowsRemovedElsewhere()
    {
        QFETCH(QString, operatorName);
        QFETCH(QString, elsewhere);
        m_db.createDatabase(operatorName);
        if (operatorName != "root")
            m_db.addOperator(operatorName, "张三", "1", "oldpass");
        openWindow();
        const QStringList before = m_db.operators();
        const QString pageSize = m_db.option("pagesize");
        m_db.execute({elsewhere});

        confirmSettings("newpass", "newpass", "新标题", 25);
        QCOMPARE(m_db.messages().texts(),
                 QStringList({"设置没有保存:数据库中已经没有你的用户帐号或要修改的设置项,"
                              "可能已被别人删除,什么都没有改变。请通知管理员。"}));
        QCOMPARE(m_db.operators(), operatorName == "root" ? before : before.mid(0, 1));
        QCOMPARE(m_db.option("pagesize"), pageSize);
    }

    // The command is all or nothing: when the options cannot be written the
    // new password is not kept either, and no success is reported.
    void failingCommandChangesNothing()
    {
        m_db.createDatabase("root");
        openWindow();
        const QString oldDigest = digestOf("root");
        m_db.execute({"drop table fid_set;"});
        confirmSettings("newroot", "newroot", "新标题", 25);
        QCOMPARE(m_db.messages().shown().size(), 1);
        QVERIFY(m_db.messages().shown().at(0).flags & MessageBox::ErrorIcon);
        QVERIFY(!m_db.messages().texts().contains(Done));
        QCOMPARE(digestOf("root"), oldDigest);
        // The page size was taken before the command ran.
        QCOMPARE(m_window->session().pageSize, 25);
    }
};

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
