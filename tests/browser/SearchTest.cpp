#include "BrowserTestSupport.h"
#include "browser/RecordBrowser.h"
#include "browser/SearchCondition.h"

#include <QLabel>
#include <QtTest>
#include <memory>

namespace {

// f_1 text, f_2 integer; one row has no f_1 and one an empty one.
const QStringList SearchRows = {
    QStringLiteral("insert into fid_main(f_1,f_2) values ('abc',100);"),
    QStringLiteral("insert into fid_main(f_1,f_2) values ('xabcx',5);"),
    QStringLiteral("insert into fid_main(f_1,f_2) values ('a_b',7);"),
    QStringLiteral("insert into fid_main(f_1,f_2) values ('axb',15);"),
    QStringLiteral("insert into fid_main(f_1,f_2) values ('50%',16);"),
    QStringLiteral("insert into fid_main(f_1,f_2) values (NULL,99);"),
    QStringLiteral("insert into fid_main(f_1,f_2) values ('O''Brien',101);"),
    QStringLiteral("insert into fid_main(f_1,f_2) values ('123456789012',-3);"),
    QStringLiteral("insert into fid_main(f_1,f_2) values ('',0);"),
    QStringLiteral("insert into fid_main(f_1,f_2) values ('ABC',2147483647);"),
};

} // namespace

// Searching by one column in the main window on the test's database.
class SearchTest final : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_fixture;

    void createSearchRows()
    {
        m_fixture->createDatabase(TwoColumns(), true, false);
        m_fixture->execute(SearchRows);
    }

private slots:
    void init() { m_fixture = std::make_unique<MainWindowFixture>(); }
    void cleanup() { m_fixture.reset(); }

    void keyIsNumber_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("number");
        QTest::newRow("digits") << "100" << true;
        QTest::newRow("leading blanks") << "  7" << true;
        QTest::newRow("plus") << "+7" << true;
        QTest::newRow("minus") << "-7" << true;
        QTest::newRow("blank then minus") << " -7" << true;
        QTest::newRow("largest") << "2147483647" << true;
        QTest::newRow("smallest") << "-2147483648" << true;
        QTest::newRow("dollar hex") << "$1F" << true;
        QTest::newRow("x hex") << "x1f" << true;
        QTest::newRow("X hex") << "X1F" << true;
        QTest::newRow("0x hex") << "0x10" << true;
        QTest::newRow("0X hex") << "0XaB" << true;
        QTest::newRow("32-bit pattern") << "$FFFFFFFF" << true;
        QTest::newRow("leading zeros") << "007" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blanks only") << "   " << false;
        QTest::newRow("trailing blank") << "7 " << false;
        QTest::newRow("decimal point") << "1.5" << false;
        QTest::newRow("sign only") << "-" << false;
        QTest::newRow("blank after sign") << "- 7" << false;
        QTest::newRow("one too large") << "2147483648" << false;
        QTest::newRow("one too small") << "-2147483649" << false;
        QTest::newRow("12 digits") << "123456789012" << false;
        QTest::newRow("hex too wide") << "$100000000" << false;
        QTest::newRow("prefix only") << "0x" << false;
        QTest::newRow("dollar only") << "$" << false;
        QTest::newRow("sign before hex") << "-$10" << false;
        QTest::newRow("not a hex digit") << "0x1G" << false;
        QTest::newRow("letters") << "abc" << false;
        QTest::newRow("quote") << "7'" << false;
    }
    void keyIsNumber()
    {
        QFETCH(QString, key);
        QFETCH(bool, number);
        QCOMPARE(KeyIsNumber(key), number);
    }

    // The condition, the statement and the rows it finds.
    void searchTable_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QList<int>>("ids");
        QTest::newRow("contains") << 0 << "包含"
                                  << "abc"
                                  << "where f_1 like '%abc%'" << QList<int>{1, 2, 10};
        QTest::newRow("contains, empty key")
            << 0 << "包含"
            << ""
            << "where f_1 like '%%'" << QList<int>{1, 2, 3, 4, 5, 7, 8, 9, 10};
        QTest::newRow("contains, underscore wildcard")
            << 0 << "包含"
            << "a_b"
            << "where f_1 like '%a_b%'" << QList<int>{3, 4};
        QTest::newRow("contains, percent wildcard") << 0 << "包含"
                                                    << "5%6"
                                                    << "where f_1 like '%5%6%'" << QList<int>{8};
        QTest::newRow("contains, numeric key quoted") << 1 << "包含"
                                                      << "5"
                                                      << "where f_2 like '%5%'" << QList<int>{2, 4};
        QTest::newRow("greater or equal, number") << 1 << ">="
                                                  << "100"
                                                  << "where f_2>=100" << QList<int>{1, 7, 10};
        QTest::newRow("equal, text") << 0 << "="
                                     << "abc"
                                     << "where f_1='abc'" << QList<int>{1, 10};
        QTest::newRow("not equal, empty key")
            << 0 << "<>"
            << ""
            << "where f_1<>''" << QList<int>{1, 2, 3, 4, 5, 7, 8, 10};
        QTest::newRow("number with a leading blank") << 1 << "="
                                                     << " 7"
                                                     << "where f_2= 7" << QList<int>{3};
        QTest::newRow("negative number") << 1 << "="
                                         << "-3"
                                         << "where f_2=-3" << QList<int>{8};
        QTest::newRow("largest number") << 1 << "="
                                        << "2147483647"
                                        << "where f_2=2147483647" << QList<int>{10};
        QTest::newRow("12 digits are text") << 0 << "="
                                            << "123456789012"
                                            << "where f_1='123456789012'" << QList<int>{8};
        QTest::newRow("hexadecimal") << 1 << "="
                                     << "0x10"
                                     << "where f_2=0x10" << QList<int>{5};
        QTest::newRow("less than") << 1 << "<"
                                   << "7"
                                   << "where f_2<7" << QList<int>{2, 8, 9};
        QTest::newRow("less or equal") << 1 << "<="
                                       << "7"
                                       << "where f_2<=7" << QList<int>{2, 3, 8, 9};
        QTest::newRow("greater, text") << 0 << ">"
                                       << "n"
                                       << "where f_1>'n'" << QList<int>{2, 7};
        // A quote stays inside the literal: the key is looked for as typed.
        QTest::newRow("quote in a text") << 0 << "="
                                         << "O'Brien"
                                         << "where f_1='O''Brien'" << QList<int>{7};
        QTest::newRow("quote, contains") << 0 << "包含"
                                         << "'"
                                         << "where f_1 like '%''%'" << QList<int>{7};
        QTest::newRow("quote that would widen the filter")
            << 0 << "="
            << "x' or '1'='1"
            << "where f_1='x'' or ''1''=''1'" << QList<int>{};
        QTest::newRow("quote that would end the statement")
            << 0 << "包含"
            << "'; delete from fid_main; --"
            << "where f_1 like '%''; delete from fid_main; --%'" << QList<int>{};
    }
    void searchTable()
    {
        QFETCH(int, column);
        QFETCH(QString, op);
        QFETCH(QString, key);
        QFETCH(QString, condition);
        QFETCH(QList<int>, ids);
        createSearchRows();
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        SetSearch(box, column, op, key);
        SentStatements sent;
        Button(box, "SpeedButton6")->click();

        QCOMPARE(m_fixture->messages().texts(), QStringList());
        QCOMPARE(box.browser().statement().condition(), condition);
        QCOMPARE(sent.browsing(),
                 QStringList({QStringLiteral("SELECT TOP 50 id,f_1,f_2,picname FROM fid_Main ") +
                                  condition + QStringLiteral(" ORDER BY id "),
                              CountHead + condition}));
        QCOMPARE(PageIds(box), ids);
        QCOMPARE(box.StatusPanel(0)->text(), QStringLiteral("  每页50条,共%1条记录 当前1页,共%2页")
                                                 .arg(ids.size())
                                                 .arg(ids.isEmpty() ? 0 : 1));
        QCOMPARE(m_fixture->rows(QStringLiteral("select count(*) from fid_main")),
                 QList<QStringList>({{QStringLiteral("10")}}));
    }

    // Before any browse the order has no leading blank and joins the
    // condition directly.
    void searchBeforeAnyBrowse()
    {
        createSearchRows();
        TMainBox box;
        box.show();
        SetSearch(box, 0, QStringLiteral("="), QStringLiteral("abc"));
        SentStatements sent;
        Button(box, "SpeedButton6")->click();
        QCOMPARE(sent.browsing().constFirst(),
                 QStringLiteral("SELECT TOP 50 id,f_1,f_2,picname FROM fid_Main where "
                                "f_1='abc' order by id "));
        QCOMPARE(PageIds(box), QList<int>({1, 10}));
        QVERIFY(MainWindowFixture::control<QWidget>(box, "TabSheet2")->isVisible());
        QVERIFY(Button(box, "PageUp")->isEnabled());
        QVERIFY(Button(box, "PageDown")->isEnabled());
        QVERIFY(m_fixture->messages().shown().isEmpty());
    }

    void searchAfterPaging()
    {
        createSearchRows();
        m_fixture->execute(
            {QStringLiteral("update fid_set set parameter='3' where options='pagesize';")});
        TMainBox box;
        box.show();
        QCOMPARE(box.session().pageSize, 3);
        Button(box, "SpeedButton3")->click();
        Button(box, "PageDown")->click();
        SetSearch(box, 1, QStringLiteral(">"), QStringLiteral("5"));
        Button(box, "SpeedButton6")->click();
        QCOMPARE(box.browser().pageIndex(), 0);
        QVERIFY(!box.browser().statementText().contains(QLatin1String("MAX(id)")));
        QCOMPARE(PageIds(box), QList<int>({1, 3, 4}));
        QCOMPARE(box.StatusPanel(0)->text(), QStringLiteral("  每页3条,共7条记录 当前1页,共3页"));
        Button(box, "PageDown")->click();
        QCOMPARE(PageIds(box), QList<int>({5, 6, 7}));
    }

    // Without a column or an operator nothing but the message happens.
    void missingChoice_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("op");
        QTest::addColumn<bool>("enter");
        QTest::newRow("no column") << -1 << "=" << false;
        QTest::newRow("no operator") << 0 << "" << false;
        QTest::newRow("neither") << -1 << "" << false;
        QTest::newRow("no column, Enter") << -1 << "=" << true;
        QTest::newRow("no operator, Enter") << 0 << "" << true;
    }
    void missingChoice()
    {
        QFETCH(int, column);
        QFETCH(QString, op);
        QFETCH(bool, enter);
        createSearchRows();
        TMainBox box;
        box.show();
        Button(box, "SpeedButton3")->click();
        const QString condition = box.browser().statement().condition();
        const QString statement = box.browser().statementText();
        const QString status = box.StatusPanel(0)->text();
        SetSearch(box, column, op, QStringLiteral("abc"));
        SentStatements sent;
        if (enter)
            QTest::keyClick(MainWindowFixture::control<QLineEdit>(box, "EKey"), Qt::Key_Return);
        else
            Button(box, "SpeedButton6")->click();

        QCOMPARE(m_fixture->messages().shown().size(), 1);
        const MessageBox::Shown& shown = m_fixture->messages().shown().constFirst();
        QCOMPARE(shown.title, QStringLiteral("提示"));
        QCOMPARE(shown.text, QStringLiteral("搜索信息必须输入必要的条件!"));
        QCOMPARE(shown.flags, 0);
        QVERIFY(sent.all().isEmpty());
        QCOMPARE(box.browser().statement().condition(), condition);
        QCOMPARE(box.browser().statementText(), statement);
        QCOMPARE(box.StatusPanel(0)->text(), status);
    }

    void enterSearches()
    {
        createSearchRows();
        TMainBox box;
        box.show();
        SetSearch(box, 1, QStringLiteral(">="), QStringLiteral("100"));
        auto* key = MainWindowFixture::control<QLineEdit>(box, "EKey");
        QTest::keyClick(key, Qt::Key_A);
        QCOMPARE(key->text(), QStringLiteral("100a"));
        key->setText(QStringLiteral("100"));
        QTest::keyClick(key, Qt::Key_Enter);
        QCOMPARE(box.browser().statement().condition(), QStringLiteral("where f_2>=100"));
        QCOMPARE(PageIds(box), QList<int>({1, 7, 10}));
    }

    // A number compared with a text column compares numbers, as on SQL
    // Server, which refuses the search when a value is not a number.
    void numberAgainstATextColumn_data()
    {
        QTest::addColumn<QString>("values");
        QTest::addColumn<QList<int>>("ids");
        QTest::addColumn<QString>("error");
        QTest::newRow("numbers as text")
            << "('99'),(' 100 '),('1000'),(NULL),('20')" << QList<int>{2, 3} << "";
        QTest::newRow("a value that is no number")
            << "('99'),('100'),('abc')" << QList<int>{}
            << "Conversion failed when converting the varchar value 'abc' to data type int.";
    }
    void numberAgainstATextColumn()
    {
        QFETCH(QString, values);
        QFETCH(QList<int>, ids);
        QFETCH(QString, error);
        m_fixture->createDatabase(TwoColumns(), true, false);
        m_fixture->execute({QStringLiteral("insert into fid_main(f_1) values ") + values + ';'});
        TMainBox box;
        box.show();
        SetSearch(box, 0, QStringLiteral(">="), QStringLiteral("100"));
        Button(box, "SpeedButton6")->click();
        QCOMPARE(box.browser().statement().condition(), QStringLiteral("where f_1>=100"));
        // The engine's message, which SQL Server's driver wraps in its own words.
        const QStringList errors = m_fixture->errorTexts();
        QCOMPARE(errors.size(), error.isEmpty() ? 0 : 1);
        if (!error.isEmpty()) {
            error = TestDatabase::wording(error, error,
                                          QStringLiteral("invalid input syntax for type integer: "
                                                         "\"abc\""));
            QVERIFY2(errors.constFirst().contains(error), qPrintable(errors.constFirst()));
        }
        QCOMPARE(PageIds(box), ids);
    }

    // The column follows the list's selection, not the search.
    void searchColumnFollowsTheList()
    {
        createSearchRows();
        TMainBox box;
        auto* columns = MainWindowFixture::control<QComboBox>(box, "Com11");
        QCOMPARE(box.browser().searchColumn(), QString());
        columns->setCurrentIndex(1);
        QCOMPARE(box.browser().searchColumn(), QStringLiteral("f_2"));
        columns->setCurrentIndex(0);
        QCOMPARE(box.browser().searchColumn(), QStringLiteral("f_1"));
    }
};

QTEST_MAIN(SearchTest)
#include "SearchTest.moc"
