#include "Initdb.h"

#include "common/ErrorReport.h"
#include "common/MessageBox.h"
#include "common/SqlText.h"
#include "common/_md5.h"
#include "platform/text/Gbk.h"
#include "ui_Initdb.h"

#include <QShowEvent>

TInitdbBox* InitdbBox = nullptr;

namespace {

// fid_title.title is varchar(48), counted in GBK bytes.
constexpr int MaxTitleBytes = 48;

QString columnDefinition(int n, const QString& type, int length)
{
    if (type == QStringLiteral("整数"))
        return QStringLiteral("f_%1 int,").arg(n);
    if (type == QStringLiteral("实数"))
        return QStringLiteral("f_%1 float,").arg(n);
    return QStringLiteral("f_%1 varchar(%2),").arg(n).arg(length);
}

QString titleInsert(const QString& title, int length)
{
    return QStringLiteral("insert into fid_title(title,cLength) values ('%1',%2);")
        .arg(QuoteDoubled(title))
        .arg(length);
}

} // namespace

const QString DefaultRootPassword = QStringLiteral("480517");

QStringList FirstRunBatch(const QString& mainTableSql, const QString& titleTableSql)
{
    return {
        QStringLiteral(
            "CREATE TABLE fid_user(id int NOT NULL IDENTITY (1, 1),user_name varchar(16),"),
        QStringLiteral("user_password varchar(32),user_alias varchar(32),"),
        QStringLiteral("user_wr integer,CONSTRAINT id PRIMARY KEY (id));"),
        QStringLiteral("INSERT INTO fid_user(user_name,user_password,user_alias,user_wr)"),
        QStringLiteral(" values('root','%1','管理员',1);").arg(PasswordDigest(DefaultRootPassword)),
        mainTableSql,
        titleTableSql,
        QStringLiteral("create table fid_set(id int NOT NULL IDENTITY (1, 1),options varchar(24),"
                       "parameter varchar(128));"),
        QStringLiteral("INSERT INTO fid_set(options,parameter)"),
        QStringLiteral(" values('title','Vardenix');"),
        QStringLiteral("INSERT INTO fid_set(options,parameter)"),
        QStringLiteral(" values('pagesize','50');"),
    };
}

TInitdbBox::TInitdbBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TInitdbBox>())
{
    ui->setupUi(this);
    setFixedSize(671, 458);
    FormCreate();
    connect(ui->S00, &QSpinBox::valueChanged, this, [this] { Guarded([this] { S00Change(); }); });
    connect(ui->Button1, &QPushButton::clicked, this,
            [this] { Guarded([this] { Button1Click(); }); });
    connect(ui->Button2, &QPushButton::clicked, this,
            [this] { Guarded([this] { Button2Click(); }); });
}

TInitdbBox::~TInitdbBox() = default;

void TInitdbBox::FormCreate()
{
    InitOk = false;
    for (int n = 1; n <= MaxColumns; ++n) {
        const QString number = QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
        TitleEdits[n - 1] = findChild<QLineEdit*>(QStringLiteral("E") + number);
        TypeBoxes[n - 1] = findChild<QComboBox*>(QStringLiteral("C") + number);
        LengthSpins[n - 1] = findChild<QSpinBox*>(QStringLiteral("S") + number);
    }
}

void TInitdbBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TInitdbBox::FormShow()
{
    S00Change();
}

void TInitdbBox::S00Change()
{
    // The spin box keeps its value in range, but a row outside 1..24 must never
    // be addressed whatever it reports.
    const int k = qBound(1, ui->S00->value(), MaxColumns);
    for (int n = 1; n <= MaxColumns; ++n) {
        const bool shown = n <= k;
        TitleEdits[n - 1]->setVisible(shown);
        TypeBoxes[n - 1]->setVisible(shown);
        LengthSpins[n - 1]->setVisible(shown);
    }
}

// The loader recognises the attachment marker rows by the titles "pic" and
// "dbfile" alone, and fid_title holds at most 48 GBK bytes of a title.
QString TInitdbBox::refusedTitleMessage(int columnCount) const
{
    for (int n = 1; n <= columnCount; ++n) {
        const QString title = TitleEdits[n - 1]->text();
        if (title == QLatin1String("pic") || title == QLatin1String("dbfile"))
            return QStringLiteral("第%1个字段的标题“%2”是系统保留的名称，请换一个标题!")
                .arg(n)
                .arg(title);
        if (!Gbk::canEncode(title))
            return QStringLiteral("第%1个字段的标题含有不能保存的字符，请换一个标题!").arg(n);
        if (Gbk::byteLength(title) > MaxTitleBytes)
            return QStringLiteral("第%1个字段的标题太长，最多%2个字节(一个汉字占两个字节)!")
                .arg(n)
                .arg(MaxTitleBytes);
    }
    return QString();
}

void TInitdbBox::Button1Click()
{
    const int k = qBound(1, ui->S00->value(), MaxColumns);
    const QString refusal = refusedTitleMessage(k);
    if (!refusal.isEmpty()) {
        MessageBox::Show(refusal);
        return;
    }

    MainTableSql = QStringLiteral("create table fid_main(id int NOT NULL IDENTITY (1, 1),");
    TitleTableSql = QStringLiteral("create table fid_title(id int NOT NULL IDENTITY (1, 1),"
                                   "title varchar(48), cLength integer);");
    for (int n = 1; n <= k; ++n) {
        const int length = LengthSpins[n - 1]->value();
        MainTableSql += columnDefinition(n, TypeBoxes[n - 1]->currentText(), length);
        TitleTableSql += titleInsert(TitleEdits[n - 1]->text(), length);
    }

    if (ui->CK1->isChecked()) {
        MainTableSql += QStringLiteral("pic image,picmin image,picname varchar(240),");
        TitleTableSql += QStringLiteral("insert into fid_title(title,cLength) values ('pic',1);");
    } else {
        TitleTableSql += QStringLiteral("insert into fid_title(title,cLength) values ('pic',0);");
    }
    if (ui->CK2->isChecked()) {
        MainTableSql += QStringLiteral("doc image,docname varchar(240));");
        TitleTableSql +=
            QStringLiteral("insert into fid_title(title,cLength) values ('dbfile',1);");
    } else {
        TitleTableSql +=
            QStringLiteral("insert into fid_title(title,cLength) values ('dbfile',0);");
    }

    MainTableSql = MainTableSql.trimmed();
    if (MainTableSql.endsWith(QLatin1Char(','))) {
        MainTableSql.chop(1);
        MainTableSql += QStringLiteral(");");
    }

    InitOk = true;
    accept();
}

void TInitdbBox::Button2Click()
{
    InitOk = false;
    reject();
}
