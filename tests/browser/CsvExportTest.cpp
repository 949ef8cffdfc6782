#include "BrowserTestSupport.h"
#include "browser/RecordBrowser.h"
#include "common/FileDialogs.h"
#include "common/StepProgress.h"
#include "support/StopAt.h"

#include <QAction>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <memory>

namespace {

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

const QString Success = QStringLiteral("CSV电子表格文件成功导出!");

// The cells of a CSV file as Python's csv module reads the GBK-decoded text,
// the way spreadsheets read CSV.
QList<QStringList> SpreadsheetCells(const QString& path)
{
    const QString script =
        QStringLiteral("import csv, json, sys\n"
                       "with open(sys.argv[1], encoding='gbk', newline='') as f:\n"
                       "    sys.stdout.write(json.dumps(list(csv.reader(f))))\n");
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), script, path});
    if (!python.waitForFinished(30000) || python.exitStatus() != QProcess::NormalExit ||
        python.exitCode() != 0) {
        qWarning("python3 could not read %s: %s", qPrintable(path),
                 python.readAllStandardError().constData());
        return {};
    }
    QList<QStringList> cells;
    for (const QJsonValue& row : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        QStringList line;
        for (const QJsonValue& cell : row.toArray())
            line.append(cell.toString());
        cells.append(line);
    }
    return cells;
}

} // namespace

// The CSV export of the loaded page, checked byte for byte.
class CsvExportTest final : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_fixture;
    QList<FileDialogs::Request> m_requests;

    // The save dialog answers with this path, or cancels for an empty one.
    void choose(const QString& path)
    {
        FileDialogs::setChooser([this, path](const FileDialogs::Request& request) {
            m_requests.append(request);
            return path;
        });
    }

    std::unique_ptr<TMainBox> browse(const QList<DesignColumn>& columns, const QStringList& rows)
    {
        m_fixture->createDatabase(columns, true, true);
        if (!rows.isEmpty())
            m_fixture->execute(rows);
        auto box = std::make_unique<TMainBox>();
        box->show();
        Button(*box, "SpeedButton3")->click();
        return box;
    }

    static void exportPage(TMainBox& box)
    {
        MainWindowFixture::control<QAction>(box, QStringLiteral("CSV1"))->trigger();
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<MainWindowFixture>();
        m_requests.clear();
    }
    void cleanup() { m_fixture.reset(); }

    void twoColumns()
    {
        auto box = browse({{"A", "int", 10}, {"B", "varchar", 10}},
                          {QStringLiteral("insert into fid_main(f_1,f_2) values (1,'x');")});
        const QString path = m_fixture->folder().file(QStringLiteral("list"));
        choose(path);
        exportPage(*box);
        QCOMPARE(FileBytes(path + ".csv"), QByteArray("A,B,\r\n1,x,\r\n"));
        QCOMPARE(m_fixture->messages().texts(), QStringList({Success}));
        QCOMPARE(m_fixture->messages().shown().constFirst().flags, 0);
        QCOMPARE(m_fixture->messages().shown().constFirst().title, QStringLiteral("提示"));
    }

    // GBK titles and values, reals in general format, NULL as nothing; a
    // value with a comma or a double quote is quoted, so no cell shifts.
    void gbkTextAndValues()
    {
        auto box =
            browse(ThreeColumns(), {QStringLiteral("insert into fid_main(f_1,f_2,f_3) values "
                                                   "('甲',-5,0.30000000000000004);"),
                                    QStringLiteral("insert into fid_main(f_1,f_2,f_3) values "
                                                   "('a,\"b\"',2147483647,1234567.125);"),
                                    QStringLiteral("insert into fid_main(f_1,f_2,f_3) values "
                                                   "(NULL,NULL,1e20);"),
                                    QStringLiteral("insert into fid_main(f_1,f_2,f_3) values "
                                                   "('乙',0,-0.5);")});
        const QString path = m_fixture->folder().file(QStringLiteral("表.csv"));
        choose(path);
        exportPage(*box);
        const QByteArray expected =
            QByteArray::fromHex("c3fbb3c6") + "," + QByteArray::fromHex("cafdc1bf") + "," +
            QByteArray::fromHex("b5a5bcdb") + ",\r\n" + QByteArray::fromHex("bcd7") +
            ",-5,0.3,\r\n" + "\"a,\"\"b\"\"\",2147483647,1234567.125,\r\n" + ",,1e+20,\r\n" +
            QByteArray::fromHex("d2d2") + ",0,-0.5,\r\n";
        QCOMPARE(FileBytes(path), expected);
        QCOMPARE(m_fixture->messages().texts(), QStringList({Success}));
    }

    // A value holding a comma, a double quote, CR or LF goes between double
    // quotes with its quotes doubled, titles as well as values; every other
    // value is written as it is. A spreadsheet's CSV reader gets the cells
    // back.
    void quotedFields_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("field"); // GBK
        QTest::newRow("comma in Chinese text")
            << QStringLiteral("甲,乙")
            << QByteArray::fromHex("bcd72cd2d2").prepend('"').append('"');
        QTest::newRow("double quotes")
            << QStringLiteral("say \"hi\"") << QByteArray("\"say \"\"hi\"\"\"");
        QTest::newRow("a lone quote") << QStringLiteral("\"") << QByteArray("\"\"\"\"");
        QTest::newRow("line feed") << QStringLiteral("a\nb") << QByteArray("\"a\nb\"");
        QTest::newRow("CR LF") << QStringLiteral("a\r\nb") << QByteArray("\"a\r\nb\"");
        QTest::newRow("lone CR") << QStringLiteral("a\rb") << QByteArray("\"a\rb\"");
        QTest::newRow("blanks, semicolon and apostrophe stay bare")
            << QStringLiteral(" a;b'c ") << QByteArray(" a;b'c ");
    }
    void quotedFields()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, field);
        QString literal = value;
        literal.replace(u'\'', QStringLiteral("''"));
        auto box =
            browse({{QStringLiteral("名,称"), "varchar", 20}, {"B", "int", 10}},
                   {QStringLiteral("insert into fid_main(f_1,f_2) values ('%1',5);").arg(literal),
                    QStringLiteral("insert into fid_main(f_1,f_2) values ('x',6);")});
        const QString path = m_fixture->folder().file(QStringLiteral("quoted.csv"));
        choose(path);
        exportPage(*box);
        QCOMPARE(FileBytes(path), "\"" + QByteArray::fromHex("c3fb2cb3c6") + "\",B,\r\n" + field +
                                      ",5,\r\nx,6,\r\n");
        QCOMPARE(SpreadsheetCells(path),
                 QList<QStringList>(
                     {{QStringLiteral("名,称"), "B", ""}, {value, "5", ""}, {"x", "6", ""}}));
    }

    // The dialog starts with today's date and "导出表"; the file always ends
    // in ".csv".
    void fileNames_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::newRow("no extension") << "list"
                                      << "list.csv";
        QTest::newRow("csv") << "list.csv"
                             << "list.csv";
        QTest::newRow("upper case CSV") << "list.CSV"
                                        << "list.CSV.csv";
        QTest::newRow("other extension") << "list.txt"
                                         << "list.txt.csv";
    }
    void fileNames()
    {
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        auto box = browse(ThreeColumns(), {});
        InsertRecords(*m_fixture, Records(2), 3);
        Button(*box, "SpeedButton3")->click();
        choose(m_fixture->folder().file(typed));
        exportPage(*box);
        QCOMPARE(QDir(m_fixture->folder().path())
                     .entryList({QStringLiteral("list*")}, QDir::Files | QDir::Dirs),
                 QStringList({saved}));
        QCOMPARE(m_requests.size(), 1);
        QCOMPARE(m_requests.constFirst().kind, FileDialogs::Kind::Save);
        QVERIFY(m_requests.constFirst().filter.isEmpty());
        const QString preset = m_requests.constFirst().presetName;
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}导出表$"))
                    .match(preset)
                    .hasMatch());
        QCOMPARE(QDate::fromString(preset.left(10), Qt::ISODate), QDate::currentDate());
    }

    void replacesAnExistingFile()
    {
        auto box =
            browse({{"A", "int", 10}}, {QStringLiteral("insert into fid_main(f_1) values (7);")});
        const QString path = m_fixture->folder().file(QStringLiteral("old.csv"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(1000, 'z'));
        old.close();
        choose(path);
        exportPage(*box);
        QCOMPARE(FileBytes(path), QByteArray("A,\r\n7,\r\n"));
    }

    void cancelLeavesAnEarlierFileWhole_data()
    {
        QTest::addColumn<QString>("stopAt"); // before the first row, during, at the end
        QTest::newRow("before") << "before";
        QTest::newRow("during") << "during";
        QTest::newRow("end") << "end";
    }
    // "取消" in the export's progress: an earlier file of that name stays
    // whole, no other file is left, and nothing is said.
    void cancelLeavesAnEarlierFileWhole()
    {
        QFETCH(QString, stopAt);
        // One page holds them all.
        QStringList inserts{
            QStringLiteral("update fid_set set parameter='5000' where options='pagesize';")};
        for (int row = 1; row <= 2100; ++row)
            inserts << QStringLiteral("insert into fid_main(f_1) values (%1);").arg(row);
        auto box = browse({{"A", "int", 10}}, inserts);
        QDir().mkpath(m_fixture->folder().file(QStringLiteral("out")));
        const QString path = m_fixture->folder().file(QStringLiteral("out/old.csv"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier");
        old.close();
        choose(path);
        QList<qint64> reported;
        StepProgress::setAnswerForTesting([&](const QString&, qint64 done, qint64 total) {
            reported.append(done);
            return GoesOnUnlessStoppedAt(stopAt, done, total);
        });
        exportPage(*box);
        StepProgress::setAnswerForTesting({});
        QCOMPARE(m_fixture->messages().shown().size(), 0);
        QCOMPARE(FileBytes(path), QByteArray("earlier"));
        QCOMPARE(QDir(m_fixture->folder().file(QStringLiteral("out"))).entryList(QDir::Files),
                 QStringList{QStringLiteral("old.csv")});
        const QList<qint64> counted{0, 1000, 2000, 2100};
        QCOMPARE(reported, counted.mid(0, stopAt == u"before" ? 1 : stopAt == u"during" ? 2 : 4));
    }

    // A page whose text runs to several blocks of the writer comes out
    // whole and in order, each line once.
    void longPageInBlocks()
    {
        const QString long999 = QString(999, u'中');
        QStringList inserts;
        QByteArray expected = "A,B,C,\r\n";
        for (int row = 1; row <= 50; ++row) {
            const QString value = QString::number(row) + long999;
            inserts << QStringLiteral("insert into fid_main(f_1,f_2,f_3) values ('%1','%1','%1');")
                           .arg(value);
            const QByteArray field =
                QByteArray::number(row) + QByteArray::fromHex("d6d0").repeated(999);
            expected += field + ',' + field + ',' + field + ",\r\n";
        }
        auto box = browse({{"A", "varchar", 2000}, {"B", "varchar", 2000}, {"C", "varchar", 2000}},
                          inserts);
        const QString path = m_fixture->folder().file(QStringLiteral("long.csv"));
        choose(path);
        exportPage(*box);
        QCOMPARE(m_fixture->messages().texts(), QStringList({Success}));
        const QByteArray written = FileBytes(path);
        QCOMPARE(written.size(), expected.size());
        QVERIFY(written == expected);
    }

    // Nothing to write: no file and no message.
    void nothingWritten_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::newRow("cancelled") << "cancel";
        QTest::newRow("empty table") << "empty";
        QTest::newRow("search without matches") << "no match";
        QTest::newRow("closed query") << "closed";
    }
    void nothingWritten()
    {
        QFETCH(QString, situation);
        auto box = browse(ThreeColumns(), {});
        if (situation != QLatin1String("empty")) {
            InsertRecords(*m_fixture, Records(3), 3);
            Button(*box, "SpeedButton3")->click();
        }
        if (situation == QLatin1String("no match")) {
            SetSearch(*box, 0, QStringLiteral("="), QStringLiteral("nothing"));
            Button(*box, "SpeedButton6")->click();
        }
        if (situation == QLatin1String("closed")) {
            m_fixture->database().renameTable(QStringLiteral("fid_main"), QStringLiteral("kept"));
            Button(*box, "SpeedButton3")->click();
            QVERIFY(!box->browser().recordQuery().isOpen());
            m_fixture->messages().clear();
        }
        const QString path = m_fixture->folder().file(QStringLiteral("out"));
        choose(situation == QLatin1String("cancel") ? QString() : path);
        exportPage(*box);
        QCOMPARE(m_requests.size(), 1);
        QVERIFY(m_fixture->messages().shown().isEmpty());
        QVERIFY(!QFile::exists(path + ".csv"));
    }

    // During a search only the matching rows of the page, in the sort order.
    void searchPageInSortOrder()
    {
        auto box = browse({{"名称", "varchar", 10}, {"数量", "int", 10}}, {});
        InsertRecords(*m_fixture, Records(12));
        SetSearch(*box, 1, QStringLiteral(">"), QStringLiteral("6"));
        Button(*box, "SpeedButton6")->click();
        box->browser().sortByColumn(0);
        const QString path = m_fixture->folder().file(QStringLiteral("search.csv"));
        choose(path);
        exportPage(*box);

        QList<Record> matching;
        for (const Record& record : Records(12)) {
            if (record.f2 > 6)
                matching.append(record);
        }
        std::sort(matching.begin(), matching.end(),
                  [](const Record& a, const Record& b) { return a.f1 > b.f1; });
        QByteArray expected =
            QByteArray::fromHex("c3fbb3c6") + "," + QByteArray::fromHex("cafdc1bf") + ",\r\n";
        for (const Record& record : matching)
            expected += record.f1.toLatin1() + "," + QByteArray::number(record.f2) + ",\r\n";
        QCOMPARE(FileBytes(path), expected);
    }

    // Columns dragged to new places: the titles and the values follow them.
    void draggedColumns()
    {
        auto box =
            browse({{"A", "int", 10}, {"B", "varchar", 10}, {"C", "float", 10}},
                   {QStringLiteral("insert into fid_main(f_1,f_2,f_3) values (1,'x',2.5);"),
                    QStringLiteral("insert into fid_main(f_1,f_2,f_3) values (2,'y',NULL);")});
        RecordGrid(*box)->horizontalHeader()->moveSection(2, 0);
        const QString path = m_fixture->folder().file(QStringLiteral("moved.csv"));
        choose(path);
        exportPage(*box);
        QCOMPARE(FileBytes(path), QByteArray("C,A,B,\r\n2.5,1,x,\r\n,2,y,\r\n"));
        // A page step keeps the order the operator chose.
        Button(*box, "PageDown")->click();
        exportPage(*box);
        QCOMPARE(FileBytes(path), QByteArray("C,A,B,\r\n2.5,1,x,\r\n,2,y,\r\n"));
    }

    void backToTheFirstRow()
    {
        auto box = browse(ThreeColumns(), {});
        InsertRecords(*m_fixture, Records(3), 3);
        Button(*box, "SpeedButton3")->click();
        box->browser().recordGrid().setCurrentRow(2);
        choose(m_fixture->folder().file(QStringLiteral("rows")));
        exportPage(*box);
        QCOMPARE(RecordGrid(*box)->currentIndex().row(), 0);
        QCOMPARE(box->browser().recordQuery().currentRow(), 0);
        QCOMPARE(box->browser().recordQuery().text(0), QStringLiteral("1"));
    }

    // A row still being typed is written first and exported with the page.
    void pendingRowIsExported()
    {
        auto box =
            browse({{"A", "int", 10}}, {QStringLiteral("insert into fid_main(f_1) values (1);")});
        MainWindowFixture::control<QAction>(*box, QStringLiteral("A1"))->trigger();
        QAbstractItemModel* model = RecordGrid(*box)->model();
        QVERIFY(model->setData(model->index(1, 0), QStringLiteral("2")));
        const QString path = m_fixture->folder().file(QStringLiteral("pending.csv"));
        choose(path);
        exportPage(*box);
        QCOMPARE(FileBytes(path), QByteArray("A,\r\n1,\r\n2,\r\n"));
        QCOMPARE(m_fixture->rows(QStringLiteral("select f_1 from fid_main order by id")),
                 QList<QStringList>({{"1"}, {"2"}}));
    }

    // A file that cannot be written is reported, never taken for a success.
    void writeFailure_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing folder") << "no such folder/list";
        QTest::newRow("a folder of that name") << "taken";
    }
    void writeFailure()
    {
        QFETCH(QString, name);
        auto box =
            browse({{"A", "int", 10}}, {QStringLiteral("insert into fid_main(f_1) values (1);")});
        QVERIFY(QDir(m_fixture->folder().path()).mkdir(QStringLiteral("taken.csv")));
        choose(m_fixture->folder().file(name));
        exportPage(*box);
        QCOMPARE(m_fixture->messages().shown().size(), 1);
        QVERIFY(m_fixture->messages().texts().constFirst().startsWith(
            QStringLiteral("CSV文件保存失败: ")));
        QVERIFY(m_fixture->messages().texts().constFirst().size() >
                QStringLiteral("CSV文件保存失败: ").size());
        QVERIFY(!QFile::exists(m_fixture->folder().file(name) + ".csv") ||
                QFileInfo(m_fixture->folder().file(name) + ".csv").isDir());
    }
};

QTEST_MAIN(CsvExportTest)
#include "CsvExportTest.moc"
