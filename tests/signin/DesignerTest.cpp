#include "signin/Initdb.h"
#include "support/MessageRecorder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

// The designer on its own: the statements it builds from what is typed.
class DesignerTest final : public QObject
{
    Q_OBJECT

private:
    template <typename T> static T* control(TInitdbBox& box, const QString& name)
    {
        auto* widget = box.findChild<T*>(name);
        if (!widget)
            qFatal("no control %s", qPrintable(name));
        return widget;
    }
    static QString row(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

private slots:
    void initialState()
    {
        TInitdbBox box;
        box.show();
        QCOMPARE(box.windowTitle(), QStringLiteral("第一次连接数据库-数据库初始化"));
        QCOMPARE(box.size(), QSize(671, 458));
        QCOMPARE(control<QSpinBox>(box, "S00")->value(), 10);
        for (int n = 1; n <= 24; ++n) {
            QCOMPARE(control<QLineEdit>(box, "E" + row(n))->text(),
                     QStringLiteral("标题%1").arg(n));
            auto* type = control<QComboBox>(box, "C" + row(n));
            QCOMPARE(type->currentText(), QStringLiteral("字符串"));
            QCOMPARE(type->count(), 3);
            QVERIFY(type->isEditable());
            QCOMPARE(control<QSpinBox>(box, "S" + row(n))->value(), 10);
            QCOMPARE(control<QLineEdit>(box, "E" + row(n))->isVisible(), n <= 10);
        }
        QVERIFY(control<QCheckBox>(box, "CK1")->isChecked());
        QVERIFY(control<QCheckBox>(box, "CK2")->isChecked());
        QVERIFY(!box.Confirmed);
    }

    void unchangedDesign()
    {
        TInitdbBox box;
        box.show();
        control<QPushButton>(box, "Button1")->click();
        QVERIFY(box.Confirmed);
        QString main = "create table fid_main(id int NOT NULL IDENTITY (1, 1),";
        QString titles =
            "create table fid_title(id int NOT NULL IDENTITY (1, 1),title varchar(48), "
            "cLength integer);";
        for (int n = 1; n <= 10; ++n) {
            main += QStringLiteral("f_%1 varchar(10),").arg(n);
            titles +=
                QStringLiteral("insert into fid_title(title,cLength) values ('标题%1',10);").arg(n);
        }
        main += "pic image,picmin image,picname varchar(240),doc image,docname varchar(240));";
        titles += "insert into fid_title(title,cLength) values ('pic',1);"
                  "insert into fid_title(title,cLength) values ('dbfile',1);";
        QCOMPARE(box.MainTableSql, main);
        QCOMPARE(box.TitleTableSql, titles);
    }

    void threeColumns_data()
    {
        QTest::addColumn<bool>("pictures");
        QTest::addColumn<bool>("documents");
        QTest::addColumn<QString>("mainEnd");
        QTest::addColumn<QString>("markers");
        const QString columns = "f_1 varchar(20),f_2 int,f_3 float";
        QTest::newRow("no groups")
            << false << false << columns + ");"
            << "('pic',0);insert into fid_title(title,cLength) values ('dbfile',0);";
        QTest::newRow("pictures only")
            << true << false << columns + ",pic image,picmin image,picname varchar(240));"
            << "('pic',1);insert into fid_title(title,cLength) values ('dbfile',0);";
        QTest::newRow("documents only")
            << false << true << columns + ",doc image,docname varchar(240));"
            << "('pic',0);insert into fid_title(title,cLength) values ('dbfile',1);";
    }

    void threeColumns()
    {
        QFETCH(bool, pictures);
        QFETCH(bool, documents);
        QFETCH(QString, mainEnd);
        QFETCH(QString, markers);
        TInitdbBox box;
        box.show();
        control<QSpinBox>(box, "S00")->setValue(3);
        control<QSpinBox>(box, "S01")->setValue(20);
        control<QComboBox>(box, "C02")->setCurrentText("整数");
        control<QComboBox>(box, "C03")->setCurrentText("实数");
        control<QLineEdit>(box, "E04")->setText("ignored beyond the count");
        control<QCheckBox>(box, "CK1")->setChecked(pictures);
        control<QCheckBox>(box, "CK2")->setChecked(documents);
        control<QPushButton>(box, "Button1")->click();
        QVERIFY(box.Confirmed);
        QCOMPARE(box.MainTableSql,
                 "create table fid_main(id int NOT NULL IDENTITY (1, 1)," + mainEnd);
        QCOMPARE(box.TitleTableSql,
                 "create table fid_title(id int NOT NULL IDENTITY (1, 1),title varchar(48), "
                 "cLength integer);"
                 "insert into fid_title(title,cLength) values ('标题1',20);"
                 "insert into fid_title(title,cLength) values ('标题2',10);"
                 "insert into fid_title(title,cLength) values ('标题3',10);"
                 "insert into fid_title(title,cLength) values " +
                     markers);
    }

    // The twelve lines every new database starts from, around the designer's
    // texts; the tests' databases are built with this same batch.
    void firstRunBatchAroundThreeColumns()
    {
        TInitdbBox box;
        box.show();
        control<QSpinBox>(box, "S00")->setValue(3);
        control<QLineEdit>(box, "E01")->setText("名称");
        control<QSpinBox>(box, "S01")->setValue(20);
        control<QLineEdit>(box, "E02")->setText("数量");
        control<QComboBox>(box, "C02")->setCurrentText("整数");
        control<QLineEdit>(box, "E03")->setText("单价");
        control<QComboBox>(box, "C03")->setCurrentText("实数");
        control<QPushButton>(box, "Button1")->click();
        QVERIFY(box.Confirmed);
        const QStringList expected{
            "CREATE TABLE fid_user(id int NOT NULL IDENTITY (1, 1),user_name varchar(16),",
            "user_password varchar(32),user_alias varchar(32),",
            "user_wr integer,CONSTRAINT id PRIMARY KEY (id));",
            "INSERT INTO fid_user(user_name,user_password,user_alias,user_wr)",
            " values('root','1064beb2084c536c7021a377c0072ad8','管理员',1);",
            "create table fid_main(id int NOT NULL IDENTITY (1, 1),f_1 varchar(20),f_2 int,"
            "f_3 float,pic image,picmin image,picname varchar(240),doc image,"
            "docname varchar(240));",
            "create table fid_title(id int NOT NULL IDENTITY (1, 1),title varchar(48), "
            "cLength integer);"
            "insert into fid_title(title,cLength) values ('名称',20);"
            "insert into fid_title(title,cLength) values ('数量',10);"
            "insert into fid_title(title,cLength) values ('单价',10);"
            "insert into fid_title(title,cLength) values ('pic',1);"
            "insert into fid_title(title,cLength) values ('dbfile',1);",
            "create table fid_set(id int NOT NULL IDENTITY (1, 1),options varchar(24),"
            "parameter varchar(128));",
            "INSERT INTO fid_set(options,parameter)",
            " values('title','Vardenix');",
            "INSERT INTO fid_set(options,parameter)",
            " values('pagesize','50');",
        };
        QCOMPARE(FirstRunBatch(box.MainTableSql, box.TitleTableSql), expected);
    }

    void typedTypesAndTitles_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("insert");
        QTest::newRow("unknown type") << "日期"
                                      << "t"
                                      << "f_1 varchar(7)"
                                      << "('t',7);";
        QTest::newRow("empty type") << ""
                                    << "t"
                                    << "f_1 varchar(7)"
                                    << "('t',7);";
        QTest::newRow("type differs in case") << "整数 "
                                              << "t"
                                              << "f_1 varchar(7)"
                                              << "('t',7);";
        QTest::newRow("quote in title") << "整数"
                                        << "O'Neil"
                                        << "f_1 int"
                                        << "('O''Neil',7);";
        QTest::newRow("empty title") << "实数"
                                     << ""
                                     << "f_1 float"
                                     << "('',7);";
    }

    void typedTypesAndTitles()
    {
        QFETCH(QString, type);
        QFETCH(QString, title);
        QFETCH(QString, column);
        QFETCH(QString, insert);
        TInitdbBox box;
        box.show();
        control<QSpinBox>(box, "S00")->setValue(1);
        control<QSpinBox>(box, "S01")->setValue(7);
        control<QComboBox>(box, "C01")->setCurrentText(type);
        control<QLineEdit>(box, "E01")->setText(title);
        control<QCheckBox>(box, "CK1")->setChecked(false);
        control<QCheckBox>(box, "CK2")->setChecked(false);
        control<QPushButton>(box, "Button1")->click();
        QVERIFY(box.Confirmed);
        QCOMPARE(box.MainTableSql,
                 "create table fid_main(id int NOT NULL IDENTITY (1, 1)," + column + ");");
        QVERIFY2(box.TitleTableSql.contains("values " + insert), qPrintable(box.TitleTableSql));
    }

    void refusedTitles_data()
    {
        QTest::addColumn<int>("rowNumber");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::newRow("pic") << 2 << "pic"
                             << "第2个字段的标题“pic”是系统保留的名称，请换一个标题!";
        QTest::newRow("dbfile") << 5 << "dbfile"
                                << "第5个字段的标题“dbfile”是系统保留的名称，请换一个标题!";
        QTest::newRow("49 bytes") << 1 << QString(49, 'x')
                                  << "第1个字段的标题太长，最多48个字节(一个汉字占两个字节)!";
        QTest::newRow("25 Chinese") << 3 << QString(25, QChar(0x5b57))
                                    << "第3个字段的标题太长，最多48个字节(一个汉字占两个字节)!";
        QTest::newRow("outside GBK") << 4 << QString::fromUtf8("\xF0\x9F\x98\x80")
                                     << "第4个字段的标题含有不能保存的字符，请换一个标题!";
    }

    void refusedTitles()
    {
        QFETCH(int, rowNumber);
        QFETCH(QString, title);
        QFETCH(QString, message);
        MessageRecorder messages;
        TInitdbBox box;
        box.show();
        control<QLineEdit>(box, "E" + row(rowNumber))->setText(title);
        control<QPushButton>(box, "Button1")->click();
        QCOMPARE(messages.texts(), QStringList{message});
        QVERIFY(!box.Confirmed);
        QVERIFY(box.isVisible());
    }

    void titlesAllowedAtTheLimitAndBeyondTheCount()
    {
        MessageRecorder messages;
        TInitdbBox box;
        box.show();
        control<QSpinBox>(box, "S00")->setValue(2);
        control<QLineEdit>(box, "E01")->setText(QString(24, QChar(0x5b57))); // 48 bytes
        control<QLineEdit>(box, "E02")->setText("Pic");
        control<QLineEdit>(box, "E03")->setText("pic"); // not part of the design
        control<QPushButton>(box, "Button1")->click();
        QVERIFY(messages.texts().isEmpty());
        QVERIFY(box.Confirmed);
    }

    void rowCountShowsAndHidesRows()
    {
        TInitdbBox box;
        box.show();
        auto* count = control<QSpinBox>(box, "S00");
        control<QLineEdit>(box, "E05")->setText("kept");
        count->setValue(3);
        for (int n = 1; n <= 24; ++n)
            QCOMPARE(control<QSpinBox>(box, "S" + row(n))->isVisible(), n <= 3);
        count->setValue(24);
        for (int n = 1; n <= 24; ++n)
            QVERIFY(control<QComboBox>(box, "C" + row(n))->isVisible());
        QCOMPARE(control<QLineEdit>(box, "E05")->text(), QStringLiteral("kept"));

        // Typing never reaches a row outside 1..24, and the box stays in range.
        count->setFocus();
        count->selectAll();
        QTest::keyClicks(count, "99");
        QVERIFY(count->value() >= 1 && count->value() <= 24);
        count->selectAll();
        QTest::keyClick(count, Qt::Key_Backspace);
        QVERIFY(control<QLineEdit>(box, "E01")->isVisible());
    }

    void cancelLeavesInitOkFalse()
    {
        TInitdbBox box;
        box.show();
        control<QPushButton>(box, "Button2")->click();
        QVERIFY(!box.Confirmed);
        QVERIFY(!box.isVisible());

        TInitdbBox closed;
        closed.show();
        closed.close();
        QVERIFY(!closed.Confirmed);
    }
};

QTEST_MAIN(DesignerTest)
#include "DesignerTest.moc"
