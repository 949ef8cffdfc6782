#include "admin/Addmdiuser.h"
#include "admin/Set.h"
#include "support/MessageRecorder.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QtTest>
#include <memory>

namespace {

const QString EmptyAccount = QStringLiteral("用户登录帐号不能为空!");
const QString Mismatch = QStringLiteral("两次输入的密码不一致!");
const QString AddTooShort = QStringLiteral("密码的位数至少6位!");
const QString ModifyTooShort = QStringLiteral("密码的位数少于6位或者不为空!");
const QString SetTooShort = QStringLiteral("密码的位数小于6位!");
const QString NoPassword = QStringLiteral("你还没有输入密码!");

// Outside GBK: a character the database could not store as typed.
const QString Emoji = QString::fromUtf8("\xF0\x9F\x98\x80");

} // namespace

// The operator dialog and the settings dialog on their own: layout and the
// checks of their confirm button.
class DialogsTest final : public QObject
{
    Q_OBJECT

    std::unique_ptr<MessageRecorder> m_messages;

    template <typename T> static T* control(QWidget& window, const char* name)
    {
        auto* found = window.findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    static QString labelFor(QWidget& window, const QWidget* box)
    {
        for (const QLabel* label : window.findChildren<QLabel*>())
            if (label->buddy() == box)
                return label->text();
        return QString();
    }

private slots:
    void init() { m_messages = std::make_unique<MessageRecorder>(); }
    void cleanup() { m_messages.reset(); }

    void userDialogForm()
    {
        TAddMdiUserBox box;
        QCOMPARE(AddMdiUserBox, &box);
        QCOMPARE(box.size(), QSize(403, 213));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QVERIFY(!box.Confirmed);

        const QList<QPair<QLineEdit*, QString>> rows = {{box.Edit1, "用户帐号: "},
                                                        {box.Edit2, "用户名称: "},
                                                        {box.Edit3, "登录密码: "},
                                                        {box.Edit4, "重复密码: "}};
        for (const auto& row : rows) {
            QVERIFY(row.first->text().isEmpty());
            QCOMPARE(row.first->maxLength(), 32767); // no limit of the dialog's own
            QCOMPARE(labelFor(box, row.first), row.second);
        }
        QCOMPARE(box.Edit1->echoMode(), QLineEdit::Normal);
        QCOMPARE(box.Edit2->echoMode(), QLineEdit::Normal);
        QCOMPARE(box.Edit3->echoMode(), QLineEdit::Password);
        QCOMPARE(box.Edit4->echoMode(), QLineEdit::Password);

        QStringList texts;
        for (const QLabel* label : box.findChildren<QLabel*>())
            texts << label->text();
        for (const char* hint : {"英文加字母,如:kez042 ", "如:零零柒", "密码至少6位  "})
            QVERIFY2(texts.contains(QString::fromUtf8(hint)), hint);

        QCOMPARE(box.LabelPassword->text(), QStringLiteral("密码留空将不修改密码! "));
        QVERIFY(box.LabelPassword->font().bold());
        QCOMPARE(box.CheckBox1->text(), QStringLiteral("只读(不能修改数据)"));
        QVERIFY(box.CheckBox1->font().bold());
        QVERIFY(!box.CheckBox1->isChecked());
        QCOMPARE(box.Button2->text(), QStringLiteral("取消"));

        box.show();
        QVERIFY(!box.LabelPassword->isVisible());
        QVERIFY(box.Button1->isVisible());
        // Centred on the screen, give or take the rounding of odd sizes.
        const QPoint offset =
            box.frameGeometry().center() - box.screen()->availableGeometry().center();
        QVERIFY2(qAbs(offset.x()) <= 2 && qAbs(offset.y()) <= 2,
                 qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
    }

    void userDialogChecks_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("repeated");
        QTest::addColumn<QString>("message"); // empty: confirmed

        const QString add = QStringLiteral("添加新用户");
        const QString modify = QStringLiteral("修改用户");
        QTest::newRow("add, empty account before mismatch") << add << ""
                                                            << ""
                                                            << "123"
                                                            << "456" << EmptyAccount;
        QTest::newRow("add, mismatch before length") << add << "clerk"
                                                     << ""
                                                     << "12345"
                                                     << "1234" << Mismatch;
        QTest::newRow("add, 5 characters") << add << "clerk"
                                           << ""
                                           << "12345"
                                           << "12345" << AddTooShort;
        QTest::newRow("add, 6 characters") << add << "clerk"
                                           << "张三"
                                           << "123456"
                                           << "123456"
                                           << "";
        QTest::newRow("add, empty password") << add << "clerk"
                                             << ""
                                             << ""
                                             << "" << AddTooShort;
        QTest::newRow("add, three Chinese characters count as 6") << add << "clerk"
                                                                  << ""
                                                                  << "零零柒"
                                                                  << "零零柒"
                                                                  << "";
        QTest::newRow("add, two Chinese and one letter") << add << "clerk"
                                                         << ""
                                                         << "零零a"
                                                         << "零零a" << AddTooShort;
        QTest::newRow("add, blanks are not trimmed") << add << "clerk"
                                                     << ""
                                                     << "      "
                                                     << "      "
                                                     << "";
        QTest::newRow("modify, both boxes empty") << modify << "clerk"
                                                  << ""
                                                  << ""
                                                  << ""
                                                  << "";
        QTest::newRow("modify, 5 characters") << modify << "clerk"
                                              << ""
                                              << "12345"
                                              << "12345" << ModifyTooShort;
        QTest::newRow("modify, 6 characters") << modify << "clerk"
                                              << ""
                                              << "123456"
                                              << "123456"
                                              << "";
        QTest::newRow("modify, mismatch with one box empty") << modify << "clerk"
                                                             << ""
                                                             << ""
                                                             << "123456" << Mismatch;
        QTest::newRow("modify, empty account of an empty list") << modify << ""
                                                                << ""
                                                                << ""
                                                                << "" << EmptyAccount;

        // What the columns of fid_user cannot hold is refused before anything is sent.
        QTest::newRow("account of 16 bytes") << add << "零一二三四五六七"
                                             << ""
                                             << "123456"
                                             << "123456"
                                             << "";
        QTest::newRow("account of 17 bytes") << add << "零一二三四五六七a"
                                             << ""
                                             << "123456"
                                             << "123456"
                                             << "用户帐号太长，最多16个字节(一个汉字占两个字节)!";
        QTest::newRow("display name of 32 bytes")
            << add << "clerk" << QString(16, QChar(0x5F20)) << "123456"
            << "123456"
            << "";
        QTest::newRow("display name of 33 bytes")
            << add << "clerk" << QString(16, QChar(0x5F20)) + "a"
            << "123456"
            << "123456"
            << "用户名称太长，最多32个字节(一个汉字占两个字节)!";
        QTest::newRow("account outside GBK") << add << "clerk" + Emoji << ""
                                             << "123456"
                                             << "123456"
                                             << "用户帐号含有不能保存的字符，请换一个帐号!";
        QTest::newRow("display name outside GBK") << modify << "clerk" << Emoji << ""
                                                  << ""
                                                  << "用户名称含有不能保存的字符，请换一个名称!";
        QTest::newRow("password outside GBK")
            << add << "clerk"
            << ""
            << "123456" + Emoji << "123456" + Emoji << "登录密码含有不能保存的字符，请换一个密码!";
        QTest::newRow("quote in the account") << add << "o'clerk"
                                              << "o'neil"
                                              << "123456"
                                              << "123456"
                                              << "";
    }
    void userDialogChecks()
    {
        QFETCH(QString, caption);
        QFETCH(QString, account);
        QFETCH(QString, alias);
        QFETCH(QString, password);
        QFETCH(QString, repeated);
        QFETCH(QString, message);

        const auto purpose = caption == QStringLiteral("修改用户") ? TAddMdiUserBox::Purpose::Modify
                                                                   : TAddMdiUserBox::Purpose::Add;
        TAddMdiUserBox box(purpose);
        QCOMPARE(box.windowTitle(), caption);
        box.Edit1->setText(account);
        box.Edit2->setText(alias);
        box.Edit3->setText(password);
        box.Edit4->setText(repeated);
        box.show();
        box.Button1->click();

        if (message.isEmpty()) {
            QVERIFY2(m_messages->shown().isEmpty(), qPrintable(m_messages->texts().join('\n')));
            QVERIFY(box.Confirmed);
            QCOMPARE(box.result(), int(QDialog::Accepted));
            QVERIFY(!box.isVisible());
            return;
        }
        QCOMPARE(m_messages->texts(), QStringList({message}));
        QCOMPARE(m_messages->shown().at(0).title, QStringLiteral("提示"));
        QCOMPARE(m_messages->shown().at(0).flags, 0);
        QVERIFY(!box.Confirmed);
        QVERIFY(box.isVisible());
        QCOMPARE(box.Edit1->text(), account);
        QCOMPARE(box.Edit2->text(), alias);
        QCOMPARE(box.Edit3->text(), password);
        QCOMPARE(box.Edit4->text(), repeated);
    }

    void userDialogLeftWithoutConfirming_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("取消") << "cancel";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close box") << "close";
    }
    void userDialogLeftWithoutConfirming()
    {
        QFETCH(QString, how);
        TAddMdiUserBox box;
        box.Edit1->setText(QStringLiteral("clerk"));
        box.Edit3->setText(QStringLiteral("123456"));
        box.Edit4->setText(QStringLiteral("123456"));
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        if (how == QLatin1String("cancel"))
            box.Button2->click();
        else if (how == QLatin1String("escape"))
            QTest::keyClick(box.Edit1, Qt::Key_Escape);
        else
            box.close();
        QVERIFY(!box.isVisible());
        QVERIFY(!box.Confirmed);
        QCOMPARE(box.result(), int(QDialog::Rejected));
        QVERIFY(m_messages->shown().isEmpty());
    }

    void settingsDialogForm()
    {
        TSetBox box;
        QCOMPARE(SetBox, &box);
        QCOMPARE(box.windowTitle(), QStringLiteral("设置"));
        QCOMPARE(box.size(), QSize(406, 211));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QVERIFY(!box.Confirmed);

        QCOMPARE(labelFor(box, box.Edit2), QStringLiteral("新密码:    "));
        QCOMPARE(box.Label3->text(), QStringLiteral("重复密码:    "));
        QCOMPARE(box.Label3->buddy(), box.Edit3);
        QCOMPARE(box.Label1->text(), QStringLiteral("数据库应用名称:    "));
        QCOMPARE(box.Label1->buddy(), box.Edit1);
        QCOMPARE(box.Label4->text(), QStringLiteral("每页显示记录数:  "));
        QCOMPARE(box.Label5->text(), QStringLiteral("如果不想修改密码，请将其留空。   "));
        QCOMPARE(box.Button1->text(), QStringLiteral("确定"));
        QCOMPARE(box.Button2->text(), QStringLiteral("取消"));
        QCOMPARE(box.Edit2->echoMode(), QLineEdit::Password);
        QCOMPARE(box.Edit3->echoMode(), QLineEdit::Password);
        QCOMPARE(box.Edit1->echoMode(), QLineEdit::Normal);

        // Top to bottom: new password, repeated password, title, page size, note.
        const QList<QWidget*> order = {box.Edit2, box.Edit3, box.Edit1, box.CSpinEdit1, box.Label5};
        for (int i = 1; i < order.size(); ++i)
            QVERIFY(order.at(i - 1)->y() < order.at(i)->y());

        QCOMPARE(box.CSpinEdit1->minimum(), 1);
        QCOMPARE(box.CSpinEdit1->maximum(), 999999);
        QCOMPARE(box.CSpinEdit1->value(), 50);
        box.CSpinEdit1->setValue(0);
        QCOMPARE(box.CSpinEdit1->value(), 1);
        box.CSpinEdit1->setValue(1000000);
        QCOMPARE(box.CSpinEdit1->value(), 999999);
    }

    // Only the password rows: the repeated-password row moves to y 85 when shown.
    void settingsDialogForOtherOperators_data()
    {
        QTest::addColumn<bool>("root");
        QTest::newRow("root") << true;
        QTest::newRow("other operator") << false;
    }
    void settingsDialogForOtherOperators()
    {
        QFETCH(bool, root);
        TSetBox box;
        const int rootRow = box.Edit3->y();
        QVERIFY(rootRow != 85);
        if (!root)
            for (QWidget* widget : std::initializer_list<QWidget*>{
                     box.Label1, box.Edit1, box.Label4, box.CSpinEdit1, box.Label5})
                widget->hide();
        box.show();
        const int row = root ? rootRow : 85;
        QCOMPARE(box.Edit3->y(), row);
        QCOMPARE(box.Label3->y(), row);
        QVERIFY(box.Edit2->geometry().bottom() < row);
        QVERIFY(box.Edit3->geometry().bottom() < box.Button1->y());
    }

    void settingsDialogChecks_data()
    {
        QTest::addColumn<bool>("root");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("repeated");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message"); // empty: confirmed

        QTest::newRow("5 characters that differ") << true << "12345"
                                                  << "54321"
                                                  << "T" << SetTooShort;
        QTest::newRow("6 characters that differ") << true << "123456"
                                                  << "654321"
                                                  << "T" << Mismatch;
        QTest::newRow("6 characters") << false << "123456"
                                      << "123456"
                                      << ""
                                      << "";
        QTest::newRow("three Chinese characters") << false << "零零柒"
                                                  << "零零柒"
                                                  << ""
                                                  << "";
        QTest::newRow("root, both boxes empty") << true << ""
                                                << ""
                                                << "T"
                                                << "";
        QTest::newRow("root, empty password, repeated not looked at") << true << ""
                                                                      << "123"
                                                                      << "T"
                                                                      << "";
        QTest::newRow("other operator, empty password") << false << ""
                                                        << ""
                                                        << "" << NoPassword;
        QTest::newRow("other operator, only the repeated password") << false << ""
                                                                    << "123456"
                                                                    << "" << NoPassword;
        QTest::newRow("title of 128 bytes") << true << ""
                                            << "" << QString(64, QChar(0x540D)) << "";
        QTest::newRow("title of 129 bytes")
            << true << ""
            << "" << QString(64, QChar(0x540D)) + "x"
            << "数据库应用名称太长，最多128个字节(一个汉字占两个字节)!";
        QTest::newRow("title outside GBK")
            << true << ""
            << ""
            << "档案" + Emoji << "数据库应用名称含有不能保存的字符，请修改!";
        QTest::newRow("password outside GBK") << false << "123456" + Emoji << "123456" + Emoji << ""
                                              << "新密码含有不能保存的字符，请换一个密码!";
    }
    void settingsDialogChecks()
    {
        QFETCH(bool, root);
        QFETCH(QString, password);
        QFETCH(QString, repeated);
        QFETCH(QString, title);
        QFETCH(QString, message);

        TSetBox box;
        if (!root)
            for (QWidget* widget : std::initializer_list<QWidget*>{
                     box.Label1, box.Edit1, box.Label4, box.CSpinEdit1, box.Label5})
                widget->hide();
        box.Edit2->setText(password);
        box.Edit3->setText(repeated);
        box.Edit1->setText(title);
        box.show();
        box.Button1->click();

        if (message.isEmpty()) {
            QVERIFY2(m_messages->shown().isEmpty(), qPrintable(m_messages->texts().join('\n')));
            QVERIFY(box.Confirmed);
            QVERIFY(!box.isVisible());
            return;
        }
        QCOMPARE(m_messages->texts(), QStringList({message}));
        QCOMPARE(m_messages->shown().at(0).title, QStringLiteral("提示"));
        QCOMPARE(m_messages->shown().at(0).flags, 0);
        QVERIFY(!box.Confirmed);
        QVERIFY(box.isVisible());
    }

    void settingsDialogCancelled()
    {
        TSetBox box;
        box.Edit2->setText(QStringLiteral("123456"));
        box.Edit3->setText(QStringLiteral("123456"));
        box.show();
        box.Button2->click();
        QVERIFY(!box.isVisible());
        QVERIFY(!box.Confirmed);
        QVERIFY(m_messages->shown().isEmpty());
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
