#include "common/ApplicationTitle.h"
#include "common/ErrorReport.h"
#include "common/MessageBox.h"
#include "platform/db/DbError.h"
#include "support/MessageRecorder.h"
#include "support/ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <stdexcept>

Q_DECLARE_METATYPE(std::function<void()>)

class MessagesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void responderSeesTheBoxAndAnswers_data();
    void responderSeesTheBoxAndAnswers();
    void realBox_data();
    void realBox();
    void markupIsShownAsWritten();
    void errorReportShowsTheApplicationTitle();
    void guardedReportsWhatTheHandlerThrows_data();
    void guardedReportsWhatTheHandlerThrows();
    void guardedStaysQuietWhenNothingFails();
};

void MessagesTest::initTestCase()
{
    SetApplicationTitle(QStringLiteral("Vardenix"));
}

void MessagesTest::responderSeesTheBoxAndAnswers_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("answer");
    QTest::newRow("information") << MessageBox::Ok << MessageBox::IdOk;
    QTest::newRow("question, yes") << MessageBox::YesNo << MessageBox::IdYes;
    QTest::newRow("question, no") << MessageBox::YesNo << MessageBox::IdNo;
}

void MessagesTest::responderSeesTheBoxAndAnswers()
{
    QFETCH(int, flags);
    QFETCH(int, answer);
    MessageRecorder recorder;
    recorder.presetAnswer(answer);
    recorder.presetAnswer(answer);
    QCOMPARE(MessageBox::Show(QStringLiteral("删除当前记录?"), flags), answer);
    QCOMPARE(MessageBox::Show(QStringLiteral("标题"), QStringLiteral("正文"), flags), answer);
    QCOMPARE(recorder.shown().size(), 2);
    QCOMPARE(recorder.shown()[0].title, "提示");
    QCOMPARE(recorder.shown()[0].text, "删除当前记录?");
    QCOMPARE(recorder.shown()[0].flags, flags);
    QCOMPARE(recorder.shown()[1].title, "标题");
    QCOMPARE(recorder.shown()[1].text, "正文");
}

void MessagesTest::realBox_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QString>("click");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("answer");
    QTest::newRow("OK") << MessageBox::Ok << QStringList{"确定"} << "确定"
                        << int(QMessageBox::NoIcon) << MessageBox::IdOk;
    QTest::newRow("Yes") << MessageBox::YesNo << QStringList{"是", "否"} << "是"
                         << int(QMessageBox::NoIcon) << MessageBox::IdYes;
    QTest::newRow("No") << MessageBox::YesNo << QStringList{"是", "否"} << "否"
                        << int(QMessageBox::NoIcon) << MessageBox::IdNo;
    QTest::newRow("error") << (MessageBox::Ok | MessageBox::ErrorIcon) << QStringList{"确定"}
                           << "确定" << int(QMessageBox::Critical) << MessageBox::IdOk;
}

void MessagesTest::realBox()
{
    QFETCH(int, flags);
    QFETCH(QStringList, buttons);
    QFETCH(QString, click);
    QFETCH(int, icon);
    QFETCH(int, answer);

    QWidget window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QString title;
    QString text;
    QStringList shownButtons;
    int shownIcon = -1;
    bool modal = false;
    QWidget* parent = nullptr;
    const ModalDriver<QMessageBox> dialog([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        modal = box->isModal();
        parent = box->parentWidget();
        shownIcon = int(box->icon());
        for (QAbstractButton* button : box->buttons()) {
            shownButtons.append(button->text());
            if (button->text() == click)
                QTimer::singleShot(0, button, &QAbstractButton::click);
        }
    });
    const int result = MessageBox::Show(QStringLiteral("要继续吗?"), flags);

    QCOMPARE(title, "提示");
    QCOMPARE(text, "要继续吗?");
    QVERIFY(modal);
    QCOMPARE(parent, &window);
    shownButtons.sort();
    buttons.sort();
    QCOMPARE(shownButtons, buttons);
    QCOMPARE(shownIcon, icon);
    QCOMPARE(result, answer);
}

// A name from the database inside a message is drawn as its characters,
// whatever tags it holds.
void MessagesTest::markupIsShownAsWritten()
{
    QWidget window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    const QString message = QStringLiteral("不能打开 <font size=7>合同.pdf</font><br>");
    int format = -1;
    QString drawn;
    const ModalDriver<QMessageBox> dialog([&](QMessageBox* box) {
        format = int(box->textFormat());
        if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
            drawn = label->textFormat() == Qt::PlainText ? label->text() : QString();
        box->buttons().constFirst()->click();
    });
    MessageBox::Show(message);
    QCOMPARE(format, int(Qt::PlainText));
    QCOMPARE(drawn, message);
}

void MessagesTest::errorReportShowsTheApplicationTitle()
{
    MessageRecorder recorder;
    ReportError(QStringLiteral("无法连接"));
    SetApplicationTitle(QStringLiteral("档案管理"));
    ReportError(QString());
    SetApplicationTitle(QStringLiteral("Vardenix"));

    QCOMPARE(recorder.shown().size(), 2);
    QCOMPARE(recorder.shown()[0].title, "Vardenix");
    QCOMPARE(recorder.shown()[0].text, "无法连接");
    QCOMPARE(recorder.shown()[0].flags, MessageBox::ErrorIcon);
    QCOMPARE(recorder.shown()[1].title, "档案管理");
    QCOMPARE(recorder.shown()[1].text, QString());
}

void MessagesTest::guardedReportsWhatTheHandlerThrows_data()
{
    QTest::addColumn<std::function<void()>>("handler");
    QTest::addColumn<QString>("message");
    // An engine's text follows a sentence in the operators' language.
    QTest::newRow("database error")
        << std::function<void()>(
               [] { throw db::DbError(QStringLiteral("file is not a database")); })
        << "数据库文件已损坏或者不是数据库文件，无法读取。请从备份恢复数据库文件，或者通知管理员。"
           "\n\n详细信息: file is not a database";
    QTest::newRow("the program's own message")
        << std::function<void()>([] { throw std::runtime_error("无法写入 /tmp/x.ini"); })
        << "无法写入 /tmp/x.ini";
    QTest::newRow("a library's message")
        << std::function<void()>([] { throw std::invalid_argument("bad value"); })
        << "程序出错，这一步没有完成。请再试一次；问题仍在时，请把下面的信息告诉管理员。"
           "\n\n详细信息: bad value";
    QTest::newRow("out of memory") << std::function<void()>([] { throw std::bad_alloc(); })
                                   << "内存不足，这一步没有完成。请关闭其他程序后再试。";
    QTest::newRow("anything else")
        << std::function<void()>([] { throw 42; })
        << "程序出错，这一步没有完成。请再试一次；问题仍在时，请通知管理员。";
}

void MessagesTest::guardedReportsWhatTheHandlerThrows()
{
    QFETCH(std::function<void()>, handler);
    QFETCH(QString, message);
    MessageRecorder recorder;
    bool after = false;
    Guarded([&] {
        handler();
        after = true;
    });
    QVERIFY(!after);
    QCOMPARE(recorder.shown().size(), 1);
    QCOMPARE(recorder.shown()[0].title, "Vardenix");
    QCOMPARE(recorder.shown()[0].text, message);
    QCOMPARE(recorder.shown()[0].flags, MessageBox::ErrorIcon);

    // The same report from a catch block of the caller's own.
    try {
        handler();
    } catch (...) {
        ReportCurrentException();
    }
    QCOMPARE(recorder.shown().size(), 2);
    QCOMPARE(recorder.shown()[1].text, message);
}

void MessagesTest::guardedStaysQuietWhenNothingFails()
{
    MessageRecorder recorder;
    bool ran = false;
    Guarded([&] { ran = true; });
    QVERIFY(ran);
    QVERIFY(recorder.shown().isEmpty());
}

QTEST_MAIN(MessagesTest)
#include "MessagesTest.moc"
