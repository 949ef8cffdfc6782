#include "admin/OperatorAdmin.h"
#include "app/Main.h"
#include "browser/RecordBrowser.h"
#include "common/ApplicationTitle.h"
#include "common/_md5.h"
#include "platform/db/StatementLog.h"
#include "platform/shell/DesktopOpen.h"
#include "signin/FirstRunSchema.h"
#include "signin/Settings.h"
#include "support/MessageRecorder.h"
#include "support/TestFolder.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <QtTest>
#include <memory>

namespace {

// A text column of length 20, an integer and a real column, both of length 10.
TableDesign ThreeColumns(bool pictures, bool documents)
{
    return {{{QStringLiteral("名称"), ColumnType::Text, 20},
             {QStringLiteral("数量"), ColumnType::Integer, 10},
             {QStringLiteral("单价"), ColumnType::Real, 10}},
            pictures,
            documents};
}

// Every control whose visibility or state the view switch decides.
const QStringList ViewControls = {
    QStringLiteral("TabSheet1"),    QStringLiteral("TabSheet2"), QStringLiteral("TabSheet3"),
    QStringLiteral("PanelSearch"),  QStringLiteral("PanelPage"), QStringLiteral("PanelUser"),
    QStringLiteral("PanelBitDB"),   QStringLiteral("PanelPic"),  QStringLiteral("PanelDoc"),
    QStringLiteral("D1"),           QStringLiteral("U1"),        QStringLiteral("A1"),
    QStringLiteral("N5"),           QStringLiteral("CSV1"),      QStringLiteral("DBGrid1"),
    QStringLiteral("SpeedButton1"), QStringLiteral("N2")};

// Counts the hide and show events of the widgets it watches.
class VisibilityChanges final : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Hide || event->type() == QEvent::Show)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

// The main window against databases made by the first-run batch.
class MainBoxTest final : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<MessageRecorder> m_messages;
    QStringList m_opened;

    template <typename T> static T* control(QWidget& box, const QString& name)
    {
        auto* object = box.findChild<T*>(name);
        if (!object)
            qFatal("no control %s", qPrintable(name));
        return object;
    }

    void execute(const QStringList& lines) { m_folder->database().execute(lines); }
    // The database after a first run with this design, and the settings file
    // after a sign-in as the operator.
    void createDatabase(const QString& mainTableSql, const QString& titleTableSql,
                        const QString& operatorName = QStringLiteral("root"))
    {
        execute(FirstRunBatch(mainTableSql, titleTableSql));
        configure(operatorName);
    }
    void createDatabase(const TableDesign& design,
                        const QString& operatorName = QStringLiteral("root"))
    {
        createDatabase(MainTableSqlFor(design), TitleTableSqlFor(design), operatorName);
    }
    void createStandardDatabase(const QString& operatorName = QStringLiteral("root"))
    {
        createDatabase(ThreeColumns(true, true), operatorName);
    }
    void configure(const QString& operatorName)
    {
        const TestDatabase& database = m_folder->database();
        WriteConnectionSettings(database.host(), database.user(), QStringLiteral("1433"),
                                database.name(), database.password());
        WriteOperatorName(operatorName);
    }
    void addOperator(const QString& name, const QString& alias, const QString& right)
    {
        execute({QStringLiteral("INSERT INTO fid_user(user_name,user_password,user_alias,user_wr)"
                                " values('%1','%2','%3',%4);")
                     .arg(QString(name).replace('\'', QStringLiteral("''")),
                          PasswordDigest(QStringLiteral("123456")), alias, right)});
    }
    // The database of the design, signed in as the operator, root or another,
    // with or without the write right.
    void createDatabaseFor(const TableDesign& design, const QString& operatorName, bool canWrite)
    {
        createDatabase(design, operatorName);
        const QString right = canWrite ? QStringLiteral("1") : QStringLiteral("0");
        if (operatorName == QLatin1String("root"))
            execute({QStringLiteral("update fid_user set user_wr=%1 where user_name='root';")
                         .arg(right)});
        else
            addOperator(operatorName, operatorName, right);
    }
    static bool shown(TMainBox& box, const QString& name)
    {
        if (name == QLatin1String("D1"))
            return control<QMenu>(box, name)->menuAction()->isVisible();
        if (name == QLatin1String("U1") || name == QLatin1String("N2"))
            return control<QAction>(box, name)->isVisible();
        if (name == QLatin1String("A1") || name == QLatin1String("N5") ||
            name == QLatin1String("CSV1"))
            return control<QAction>(box, name)->isEnabled();
        if (name == QLatin1String("DBGrid1"))
            return control<QTableView>(box, name)->editTriggers() !=
                   QAbstractItemView::NoEditTriggers;
        // The import button counts while its panel is hidden in other views.
        if (name == QLatin1String("SpeedButton1"))
            return control<QWidget>(box, name)->isVisibleTo(control<QWidget>(box, "PanelDoc"));
        return control<QWidget>(box, name)->isVisibleTo(&box);
    }
    QStringList errorTexts() const
    {
        QStringList texts;
        for (const MessageBox::Shown& shown : m_messages->shown())
            if (shown.flags & MessageBox::ErrorIcon)
                texts << shown.text;
        return texts;
    }
    void showActive(TMainBox& box)
    {
        box.show();
        box.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&box));
    }

private slots:
    void init()
    {
        m_folder = std::make_unique<TestFolder>();
        m_messages = std::make_unique<MessageRecorder>();
        QGuiApplication::setApplicationDisplayName(QString());
        m_opened.clear();
        DesktopOpen::setOpenerForTesting([this](const QString& path) {
            m_opened << path;
            return false;
        });
    }
    void cleanup()
    {
        DesktopOpen::setOpenerForTesting({});
        db::setStatementObserver({});
        m_messages.reset();
        m_folder.reset();
    }

    void formHoldsEveryControl()
    {
        createStandardDatabase();
        TMainBox box;
        QCOMPARE(MainBox, &box);
        QVERIFY(box.windowState() & Qt::WindowMaximized);

        auto* operators = control<QComboBox>(box, "Com12");
        QStringList items;
        for (int i = 0; i < operators->count(); ++i)
            items << operators->itemText(i);
        QCOMPARE(items, QStringList({"包含", ">", "<", ">=", "<=", "=", "<>"}));
        QCOMPARE(operators->currentIndex(), -1);
        QVERIFY(operators->currentText().isEmpty());

        const auto actionNames = [](const QWidget* menu) {
            QStringList names;
            for (const QAction* action : menu->actions())
                names << (action->menu() ? action->menu()->objectName() : action->objectName());
            return names;
        };
        QCOMPARE(actionNames(control<QMenuBar>(box, "MainMenu1")), QStringList({"N1", "D1", "H1"}));
        QCOMPARE(actionNames(control<QMenu>(box, "N1")), QStringList({"CSV1", "N4", "x1"}));
        QCOMPARE(actionNames(control<QMenu>(box, "D1")),
                 QStringList({"A1", "N6", "N5", "N8", "U1"}));
        QCOMPARE(actionNames(control<QMenu>(box, "H1")), QStringList({"C1", "N7", "A2"}));
        QCOMPARE(actionNames(control<QMenu>(box, "PopupMenu1")),
                 QStringList({"N2", "E1", "N3", "V1"}));
        for (const char* separator : {"N3", "N4", "N6", "N7", "N8"})
            QVERIFY(control<QAction>(box, separator)->isSeparator());
        QCOMPARE(control<QAction>(box, "A1")->shortcut(), QKeySequence(Qt::Key_Insert));
        QCOMPARE(control<QAction>(box, "N5")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Delete));

        auto* picture = control<QLabel>(box, "ImagePic");
        QCOMPARE(picture->toolTip(), QStringLiteral("按右键导入图片..."));
        QCOMPARE(picture->contextMenuPolicy(), Qt::CustomContextMenu);
        QCOMPARE(picture->size(), QSize(124, 73));
        for (const char* icon : {"ImgOther", "ImgXLS", "ImgDoc", "ImgPDF", "ImagePic"})
            QCOMPARE(control<QWidget>(box, icon)->cursor().shape(), Qt::PointingHandCursor);
        for (const char* icon : {"ImgOther", "ImgXLS", "ImgDoc", "ImgPDF"})
            QCOMPARE(control<QLabel>(box, icon)->pixmap().size(), QSize(64, 64));
        QCOMPARE(control<QLabel>(box, "PnlFileName")->minimumHeight(), 30);
        QCOMPARE(control<QLabel>(box, "PnlFileName")->maximumHeight(), 30);

        auto* users = control<QTableView>(box, "DBGrid2");
        QCOMPARE(users->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(users->horizontalHeader()->defaultAlignment(), Qt::Alignment(Qt::AlignCenter));
        QCOMPARE(control<QTableView>(box, "DBGrid1")->horizontalHeader()->defaultAlignment(),
                 Qt::Alignment(Qt::AlignCenter));
        QStringList userFields;
        QList<int> userWidths;
        for (const grid::Column& column : box.admin().operatorColumns()) {
            userFields << column.fieldName + '=' + column.title;
            userWidths << column.width;
            QCOMPARE(column.titleAlignment, Qt::Alignment(Qt::AlignCenter));
        }
        QCOMPARE(userFields, QStringList({"id=用户序号", "user_name=用户帐号",
                                          "user_alias=用户名称", "user_wr=修改权限"}));
        QCOMPARE(userWidths, QList<int>({0, 120, 120, 80}));

        QCOMPARE(box.StatusPanel(0)->width(), 300);
        QVERIFY(box.StatusPanel(1)->alignment() & Qt::AlignRight);
    }

    void formTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const QList<QPair<const char*, const char*>> texts = {
            {"SpeedButton3", "管理/查看"},
            {"SpeedButton7", "关于"},
            {"SpeedButton9", "设置"},
            {"SpeedButton10", "手册"},
            {"SpeedButton8", "退出"},
            {"SpeedButton6", "搜索"},
            {"PageUp", "上页"},
            {"PageDown", "下页"},
            {"SpeedButton4", "增加用户"},
            {"SpeedButton5", "修改用户"},
            {"SpeedButton11", "删除用户"},
            {"ShowAllUser", "显示所有用户"},
            {"SpeedButton1", "导入..."},
            {"SpeedButton2", "导出..."},
            {"PnlFileName", "文件名"},
            {"PanelPic", "图片处"},
            {"N1", "【&F.文件】"},
            {"CSV1", "&E.导出数据到CSV表格..."},
            {"x1", "&x.退出"},
            {"D1", "【&D.数据】"},
            {"A1", "&A.增加记录"},
            {"N5", "&R.删除记录..."},
            {"U1", "&U.用户管理"},
            {"H1", "【&H.帮助】"},
            {"C1", "&C.使用手册"},
            {"A2", "&A.关于"},
            {"N2", "导入图片(&I)..."},
            {"E1", "导出图片(&E)..."},
            {"V1", "查看图片(&V)"},
        };
        for (const auto& [name, text] : texts)
            QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(text);
    }
    void formTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        createStandardDatabase();
        TMainBox box;
        QObject* object = box.findChild<QObject*>(name);
        QVERIFY(object);
        if (auto* menu = qobject_cast<QMenu*>(object))
            QCOMPARE(menu->title(), text);
        else
            QCOMPARE(object->property("text").toString(), text);
    }

    void formWidths_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("width");
        const QList<QPair<const char*, int>> widths = {
            {"SpeedButton3", 123}, {"SpeedButton7", 83}, {"SpeedButton9", 82},
            {"SpeedButton10", 79}, {"SpeedButton8", 77}, {"PanelSearch", 425},
            {"Com11", 133},        {"Com12", 56},        {"EKey", 122},
            {"SpeedButton6", 80},  {"PanelPage", 174},   {"PanelUser", 399},
            {"PanelBitDB", 437},   {"PanelPic", 126},
        };
        for (const auto& [name, width] : widths)
            QTest::newRow(name) << QString::fromUtf8(name) << width;
    }
    void formWidths()
    {
        QFETCH(QString, name);
        QFETCH(int, width);
        createStandardDatabase();
        TMainBox box;
        QCOMPARE(control<QWidget>(box, name)->minimumWidth(), width);
        QCOMPARE(control<QWidget>(box, name)->maximumWidth(), width);
    }

    void catalogue_data()
    {
        QTest::addColumn<bool>("pictures");
        QTest::addColumn<bool>("documents");
        QTest::addColumn<QString>("columnList");
        QTest::newRow("both groups") << true << true << "f_1,f_2,f_3,picname,docname";
        QTest::newRow("no groups") << false << false << "f_1,f_2,f_3";
        QTest::newRow("pictures only") << true << false << "f_1,f_2,f_3,picname";
        QTest::newRow("documents only") << false << true << "f_1,f_2,f_3,docname";
    }
    void catalogue()
    {
        QFETCH(bool, pictures);
        QFETCH(bool, documents);
        QFETCH(QString, columnList);
        createDatabase(ThreeColumns(pictures, documents));
        TMainBox box;
        QVERIFY(m_messages->shown().isEmpty());

        QCOMPARE(box.catalogue().columnList, columnList);
        QCOMPARE(box.catalogue().hasPictures, pictures);
        QCOMPARE(box.catalogue().hasDocuments, documents);

        QStringList fields;
        QStringList titles;
        QList<int> widths;
        for (const grid::Column& column : box.browser().recordColumns()) {
            fields << column.fieldName;
            titles << column.title;
            widths << column.width;
            QCOMPARE(column.titleAlignment, Qt::Alignment(Qt::AlignCenter));
        }
        QCOMPARE(fields, QStringList({"f_1", "f_2", "f_3"}));
        QCOMPARE(titles, QStringList({"名称", "数量", "单价"}));
        QCOMPARE(widths, QList<int>({100, 60, 60}));

        auto* columns = control<QComboBox>(box, "Com11");
        QStringList items;
        for (int i = 0; i < columns->count(); ++i)
            items << columns->itemText(i);
        QCOMPARE(items, titles);
        QCOMPARE(columns->currentIndex(), -1);
        QVERIFY(columns->currentText().isEmpty());

        QCOMPARE(box.session().connectionString, m_folder->connectionString());
        QCOMPARE(box.session().programFolder, m_folder->path());
        QCOMPARE(box.session().operatorName, QStringLiteral("root"));
        QCOMPARE(box.connection().connectionString(), box.session().connectionString);
        QVERIFY(!box.connection().isConnected());
    }

    void columnWidths()
    {
        TableDesign design;
        design.pictures = design.documents = false;
        for (const auto& [title, length] : QList<QPair<QString, int>>{
                 {"a", 1}, {"b", 12}, {"c", 13}, {"d", 35}, {"e", 36}, {"f", 128}})
            design.columns.append({title, ColumnType::Text, length});
        createDatabase(design);
        TMainBox box;
        QList<int> widths;
        for (const grid::Column& column : box.browser().recordColumns())
            widths << column.width;
        QCOMPARE(widths, QList<int>({60, 60, 65, 175, 180, 180}));
    }

    // A length that does not read as an integer gives the narrowest column.
    void lengthThatIsNotANumber()
    {
        createDatabase("create table fid_main(id int NOT NULL IDENTITY (1, 1),f_1 varchar(10),"
                       "f_2 varchar(30));",
                       "create table fid_title(id int NOT NULL IDENTITY (1, 1),title varchar(48), "
                       "cLength float);"
                       "insert into fid_title(title,cLength) values ('甲',12.5);"
                       "insert into fid_title(title,cLength) values ('乙',30);"
                       "insert into fid_title(title,cLength) values ('pic',0);"
                       "insert into fid_title(title,cLength) values ('dbfile',0);");
        TMainBox box;
        QVERIFY(m_messages->shown().isEmpty());
        QCOMPARE(box.browser().recordColumns().size(), 2);
        QCOMPARE(box.browser().recordColumns().at(0).width, 60);
        QCOMPARE(box.browser().recordColumns().at(1).width, 150);
        QCOMPARE(box.catalogue().columnList, QStringLiteral("f_1,f_2"));
    }

    void operatorRights_data()
    {
        QTest::addColumn<QString>("signedIn");
        QTest::addColumn<QString>("right");
        QTest::addColumn<bool>("canWrite");
        QTest::addColumn<QString>("line");
        QTest::newRow("write right") << "clerk"
                                     << "1" << true << "当前用户:张三,具有读取修改权限!";
        QTest::newRow("read only") << "clerk"
                                   << "0" << false << "当前用户:张三,具有只读权限!";
        QTest::newRow("only 1 grants") << "clerk"
                                       << "2" << false << "当前用户:张三,具有只读权限!";
        QTest::newRow("no right stored") << "clerk"
                                         << "NULL" << false << "当前用户:张三,具有只读权限!";
        QTest::newRow("unknown operator") << "nobody"
                                          << "1" << false << "当前用户:,具有只读权限!";
        // The quote stays inside the literal: the statement finds the operator.
        QTest::newRow("quote in the name") << "o'clerk"
                                           << "1" << true << "当前用户:张三,具有读取修改权限!";
    }
    void operatorRights()
    {
        QFETCH(QString, signedIn);
        QFETCH(QString, right);
        QFETCH(bool, canWrite);
        QFETCH(QString, line);
        createStandardDatabase(signedIn);
        const QString stored =
            signedIn == QLatin1String("nobody") ? QStringLiteral("clerk") : signedIn;
        addOperator(stored, QStringLiteral("张三"), right);
        TMainBox box;
        QVERIFY2(m_messages->shown().isEmpty(), qPrintable(m_messages->texts().join('\n')));
        QCOMPARE(box.session().operatorName, signedIn);
        QCOMPARE(box.session().canWrite, canWrite);
        QCOMPARE(box.StatusPanel(1)->text(), line);
        QCOMPARE(box.StatusPanel(1)->textFormat(), Qt::PlainText); // names are never markup
    }

    void statementTexts()
    {
        createStandardDatabase(QStringLiteral("o'clerk"));
        QStringList sent;
        db::setStatementObserver([&sent](const QString& text) { sent << text.trimmed(); });
        TMainBox box;
        db::setStatementObserver({});
        QCOMPARE(sent, QStringList({"SELECT * FROM fid_title where clength>0",
                                    "select id,user_alias,user_wr from fid_user where "
                                    "user_name='o''clerk'",
                                    "select parameter from fid_set where options='title'",
                                    "select parameter from fid_set where options='pagesize'"}));
    }

    void pageSize_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("pageSize");
        QTest::newRow("number") << true << "20" << 20;
        QTest::newRow("default row") << true << "50" << 50;
        QTest::newRow("letters") << true << "abc" << 50;
        QTest::newRow("empty") << true << "" << 50;
        QTest::newRow("zero") << true << "0" << 50;
        QTest::newRow("negative") << true << "-3" << 50;
        QTest::newRow("no row") << false << "" << 50;
    }
    void pageSize()
    {
        QFETCH(bool, stored);
        QFETCH(QString, value);
        QFETCH(int, pageSize);
        createStandardDatabase();
        execute({stored ? QStringLiteral("update fid_set set parameter='%1' where "
                                         "options='pagesize';")
                              .arg(value)
                        : QStringLiteral("delete from fid_set where options='pagesize';")});
        TMainBox box;
        QVERIFY(m_messages->shown().isEmpty());
        QCOMPARE(box.session().pageSize, pageSize);
    }

    void title_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("title");
        QTest::newRow("stored title") << true << "库存记录"
                                      << "库存记录";
        QTest::newRow("empty") << true << ""
                               << "Vardenix";
        QTest::newRow("no row") << false << ""
                                << "Vardenix";
        // Written by another client: shown as its characters, never as markup.
        QTest::newRow("markup") << true << "<font size=7><b>库存"
                                << "<font size=7><b>库存";
    }
    void title()
    {
        QFETCH(bool, stored);
        QFETCH(QString, value);
        QFETCH(QString, title);
        createStandardDatabase();
        execute({stored ? QStringLiteral("update fid_set set parameter='%1' where "
                                         "options='title';")
                              .arg(value)
                        : QStringLiteral("delete from fid_set where options='title';")});
        TMainBox box;
        QVERIFY(m_messages->shown().isEmpty());
        QCOMPARE(box.windowTitle(), title);
        QCOMPARE(ApplicationTitle(), title);
        QCOMPARE(control<QLabel>(box, "LabelTitle")->text(), title);
        QCOMPARE(control<QLabel>(box, "LabelTitle")->textFormat(), Qt::PlainText);
    }

    // The load stops at the failing step; the window opens with what it has.
    void failingLoad_data()
    {
        QTest::addColumn<bool>("catalogue");
        QTest::addColumn<QString>("columnList");
        QTest::addColumn<int>("searchItems");
        QTest::newRow("no tables") << false << "" << 0;
        QTest::newRow("catalogue only") << true << "f_1,f_2,f_3,picname,docname" << 3;
    }
    void failingLoad()
    {
        QFETCH(bool, catalogue);
        QFETCH(QString, columnList);
        QFETCH(int, searchItems);
        configure(QStringLiteral("root"));
        if (catalogue)
            execute({TitleTableSqlFor(ThreeColumns(true, true))});
        else
            execute({QStringLiteral("create table unrelated(id integer);")});

        TMainBox box;
        QCOMPARE(errorTexts().size(), 1);
        QVERIFY(!errorTexts().constFirst().isEmpty());
        box.show();
        QVERIFY(box.isVisible());
        QVERIFY(control<QWidget>(box, "TabSheet1")->isVisible());
        QCOMPARE(box.windowTitle(), QStringLiteral("Vardenix"));
        QCOMPARE(box.session().operatorName, QStringLiteral("root"));
        QCOMPARE(box.session().connectionString, m_folder->connectionString());
        QCOMPARE(box.session().programFolder, m_folder->path());
        QCOMPARE(box.catalogue().columnList, columnList);
        QCOMPARE(control<QComboBox>(box, "Com11")->count(), searchItems);
        QVERIFY(box.StatusPanel(1)->text().isEmpty());
        QVERIFY(!box.session().canWrite);
    }

    void viewMode_data()
    {
        QTest::addColumn<QString>("signedIn");
        QTest::addColumn<bool>("canWrite");
        QTest::addColumn<bool>("pictures");
        QTest::addColumn<bool>("documents");
        QTest::addColumn<int>("previous");
        QTest::addColumn<int>("view");
        QTest::addColumn<QStringList>("shownControls");

        const QStringList writeRight = {"D1", "DBGrid1", "SpeedButton1", "N2"};
        const QStringList commands = {"A1", "N5", "CSV1"};
        const QStringList attachments = {"PanelBitDB", "PanelPic", "PanelDoc"};
        const QStringList dataView =
            QStringList{"TabSheet2", "PanelSearch", "PanelPage"} + commands;

        QTest::newRow("root, About") << "root" << true << true << true << 2 << 1
                                     << QStringList{"TabSheet1", "PanelSearch", "U1"} + writeRight;
        QTest::newRow("root, Users to Data")
            << "root" << true << true << true << 3 << 2
            << dataView + attachments + writeRight + QStringList{"U1"};
        QTest::newRow("root, Users") << "root" << true << true << true << 2 << 3
                                     << QStringList{"TabSheet3", "PanelUser", "U1"} + writeRight;
        QTest::newRow("writer, Data")
            << "clerk" << true << true << true << 1 << 2 << dataView + attachments + writeRight;
        QTest::newRow("reader, Data")
            << "reader" << false << true << true << 1 << 2 << dataView + attachments;
        QTest::newRow("reader, About") << "reader" << false << true << true << 2 << 1
                                       << QStringList{"TabSheet1", "PanelSearch"};
        QTest::newRow("root without the right, Data") << "root" << false << true << true << 1 << 2
                                                      << dataView + attachments + QStringList{"U1"};
        QTest::newRow("no attachment groups")
            << "clerk" << true << false << false << 1 << 2 << dataView + writeRight;
        QTest::newRow("pictures only")
            << "clerk" << true << true << false << 1 << 2
            << dataView + writeRight + QStringList{"PanelBitDB", "PanelPic"};
        QTest::newRow("documents only")
            << "clerk" << true << false << true << 1 << 2
            << dataView + writeRight + QStringList{"PanelBitDB", "PanelDoc"};
        QTest::newRow("Data again")
            << "clerk" << true << true << true << 2 << 2 << dataView + attachments + writeRight;
        QTest::newRow("no such view")
            << "root" << true << true << true << 2 << 7 << QStringList{"U1"} + writeRight;
    }
    void viewMode()
    {
        QFETCH(QString, signedIn);
        QFETCH(bool, canWrite);
        QFETCH(bool, pictures);
        QFETCH(bool, documents);
        QFETCH(int, previous);
        QFETCH(int, view);
        QFETCH(QStringList, shownControls);
        createDatabaseFor(ThreeColumns(pictures, documents), signedIn, canWrite);
        TMainBox box;
        box.show();
        QCOMPARE(box.session().operatorName, signedIn);
        QCOMPARE(box.session().canWrite, canWrite);

        box.showView(previous);
        box.showView(view);

        QStringList actual;
        for (const QString& name : ViewControls)
            if (shown(box, name))
                actual << name;
        shownControls.sort();
        actual.sort();
        QCOMPARE(actual, shownControls);
        // Export and viewing stay for every operator.
        QVERIFY(control<QAction>(box, "E1")->isVisible());
        QVERIFY(control<QAction>(box, "V1")->isVisible());
        QVERIFY(
            control<QWidget>(box, "SpeedButton2")->isVisibleTo(control<QWidget>(box, "PanelDoc")));
    }

    // Every browse and search asks for the Data view; when it is shown
    // already, no page or panel is hidden and shown again.
    void shownViewIsLeftAsItIs()
    {
        createStandardDatabase();
        TMainBox box;
        box.show();
        box.showView(2);
        VisibilityChanges changes;
        for (const QString& name : ViewControls)
            if (auto* widget = box.findChild<QWidget*>(name))
                widget->installEventFilter(&changes);
        box.showView(2);
        QCOMPARE(changes.count, 0);
        box.showView(1);
        QVERIFY(changes.count > 0);
    }

    void opensOnTheAboutView()
    {
        createStandardDatabase();
        TMainBox box;
        box.show();
        QVERIFY(control<QWidget>(box, "TabSheet1")->isVisible());
        QVERIFY(!control<QWidget>(box, "TabSheet2")->isVisible());
        QVERIFY(!control<QWidget>(box, "PanelBitDB")->isVisible());
        QVERIFY(!control<QAction>(box, "A1")->isEnabled());
    }

    // Menu shortcuts follow the enabled state of their commands, also while
    // the Data menu is hidden from an operator without the write right.
    void shortcuts_data()
    {
        QTest::addColumn<bool>("canWrite");
        QTest::addColumn<int>("view");
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("triggered");
        const QKeySequence insert(Qt::Key_Insert);
        const QKeySequence remove(Qt::CTRL | Qt::Key_Delete);
        QTest::newRow("Ins, reader, Data") << false << 2 << insert << "A1" << true;
        QTest::newRow("Ctrl+Del, reader, Data") << false << 2 << remove << "N5" << true;
        QTest::newRow("Ins, writer, Data") << true << 2 << insert << "A1" << true;
        QTest::newRow("Ins, writer, About") << true << 1 << insert << "A1" << false;
        QTest::newRow("Ctrl+Del, writer, Users") << true << 3 << remove << "N5" << false;
    }
    void shortcuts()
    {
        QFETCH(bool, canWrite);
        QFETCH(int, view);
        QFETCH(QKeySequence, keys);
        QFETCH(QString, command);
        QFETCH(bool, triggered);
        createDatabaseFor(ThreeColumns(true, true), QStringLiteral("root"), canWrite);
        TMainBox box;
        showActive(box);
        QCOMPARE(box.session().canWrite, canWrite);
        box.showView(view);
        QSignalSpy spy(control<QAction>(box, command), &QAction::triggered);
        QTest::keySequence(&box, keys);
        QCOMPARE(spy.size(), triggered ? 1 : 0);
    }

    void headingPlacement_data()
    {
        QTest::addColumn<QSize>("page");
        QTest::addColumn<QSize>("heading");
        QTest::addColumn<QPoint>("position");
        QTest::newRow("maximised") << QSize(1432, 697) << QSize(240, 29) << QPoint(596, 222);
        QTest::newRow("odd remainders") << QSize(101, 50) << QSize(40, 19) << QPoint(30, 10);
        // Divisions truncate toward zero, also for a heading wider than the page.
        QTest::newRow("heading larger than the page")
            << QSize(100, 10) << QSize(241, 29) << QPoint(-70, -6);
    }
    void headingPlacement()
    {
        QFETCH(QSize, page);
        QFETCH(QSize, heading);
        QFETCH(QPoint, position);
        createStandardDatabase();
        TMainBox box;
        box.show();
        auto* label = control<QLabel>(box, "LabelTitle");
        label->resize(heading);
        control<QWidget>(box, "TabSheet1")->resize(page);
        QCOMPARE(label->pos(), position);
    }

    void closeEmptiesTheTempFolder_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("two viewed attachments")
            << QStringList{"plan.doc", "photo.jpg"} << QStringList{} << QStringList{};
        QTest::newRow("subfolder is not entered")
            << QStringList{"plan.doc"} << QStringList{"inner"} << QStringList{"inner"};
        QTest::newRow("hidden file is not listed")
            << QStringList{"plan.doc", ".lock"} << QStringList{} << QStringList{".lock"};
    }
    void closeEmptiesTheTempFolder()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, folders);
        QFETCH(QStringList, left);
        createStandardDatabase();
        const QString temp = m_folder->file(QStringLiteral("temp"));
        QVERIFY(QDir().mkpath(temp));
        // The operator's own folder: one open to others is left alone.
        QVERIFY(
            QFile::setPermissions(temp, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        for (const QString& name : files) {
            QFile file(temp + '/' + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("content");
        }
        for (const QString& name : folders)
            QVERIFY(QDir(temp).mkdir(name));

        TMainBox box;
        box.show();
        QVERIFY(box.close());
        QVERIFY(!box.isVisible());
        QVERIFY(m_messages->shown().isEmpty());
        QCOMPARE(QDir(temp).exists(), !left.isEmpty());
        if (!left.isEmpty())
            QCOMPARE(QDir(temp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     left);
    }

    void closeWithoutTempFolder()
    {
        createStandardDatabase();
        TMainBox box;
        box.show();
        QVERIFY(box.close());
        QVERIFY(m_messages->shown().isEmpty());
        QVERIFY(!QDir(m_folder->file(QStringLiteral("temp"))).exists());
    }

    void exitCloses_data()
    {
        QTest::addColumn<bool>("fromMenu");
        QTest::newRow("退出 button") << false;
        QTest::newRow("&x.退出 menu") << true;
    }
    void exitCloses()
    {
        QFETCH(bool, fromMenu);
        createStandardDatabase();
        const QString temp = m_folder->file(QStringLiteral("temp"));
        QVERIFY(QDir().mkpath(temp));
        // The operator's own folder: one open to others is left alone.
        QVERIFY(
            QFile::setPermissions(temp, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        TMainBox box;
        box.show();
        if (fromMenu)
            control<QAction>(box, "x1")->trigger();
        else
            control<QToolButton>(box, "SpeedButton8")->click();
        QVERIFY(!box.isVisible());
        QVERIFY(!QDir(temp).exists());
    }

    // The manual goes to the desktop; a missing file brings no message.
    void manual()
    {
        createStandardDatabase();
        TMainBox box;
        box.show();
        control<QToolButton>(box, "SpeedButton10")->click();
        control<QAction>(box, "C1")->trigger();
        const QString manual = m_folder->file(QStringLiteral("help.doc"));
        QCOMPARE(m_opened, QStringList({manual, manual}));
        QVERIFY(m_messages->shown().isEmpty());
    }

    void about_data()
    {
        QTest::addColumn<bool>("fromMenu");
        QTest::newRow("关于 button") << false;
        QTest::newRow("&A.关于 menu") << true;
    }
    void about()
    {
        QFETCH(bool, fromMenu);
        createStandardDatabase();
        TMainBox box;
        box.show();
        box.showView(2);
        box.StatusPanel(0)->setText(QStringLiteral("  每页50条,共0条记录 当前1页,共0页"));
        if (fromMenu)
            control<QAction>(box, "A2")->trigger();
        else
            control<QToolButton>(box, "SpeedButton7")->click();
        QVERIFY(control<QWidget>(box, "TabSheet1")->isVisible());
        QVERIFY(!control<QWidget>(box, "PanelPage")->isVisible());
        QVERIFY(box.StatusPanel(0)->text().isEmpty());
        QCOMPARE(box.StatusPanel(1)->text(), QStringLiteral("当前用户:管理员,具有读取修改权限!"));
    }

    // User management lists every operator but root on the window's connection.
    void userManagement()
    {
        createStandardDatabase();
        addOperator(QStringLiteral("clerk"), QStringLiteral("张三"), QStringLiteral("1"));
        addOperator(QStringLiteral("reader"), QStringLiteral("李四"), QStringLiteral("0"));
        TMainBox box;
        box.show();
        QStringList sent;
        db::setStatementObserver([&sent](const QString& text) { sent << text.trimmed(); });
        control<QAction>(box, "U1")->trigger();
        db::setStatementObserver({});

        QVERIFY(m_messages->shown().isEmpty());
        QVERIFY(control<QWidget>(box, "TabSheet3")->isVisible());
        QVERIFY(control<QWidget>(box, "PanelUser")->isVisible());
        QCOMPARE(sent, QStringList({"select id,user_name,user_alias,user_wr from fid_user where "
                                    "user_name<>'root' order by id"}));
        QVERIFY(box.admin().operatorQuery().isOpen());
        QStringList names;
        for (box.admin().operatorQuery().first(); !box.admin().operatorQuery().eof();
             box.admin().operatorQuery().next())
            names << box.admin().operatorQuery().text(QStringLiteral("user_name"));
        QCOMPARE(names, QStringList({"clerk", "reader"}));
        QVERIFY(box.connection().isConnected());
    }
};

QTEST_MAIN(MainBoxTest)
#include "MainBoxTest.moc"
