#include "Initdb.h"

#include "common/ErrorReport.h"
#include "common/MessageBox.h"
#include "platform/text/Gbk.h"
#include "ui_Initdb.h"

#include <QShowEvent>

TInitdbBox* InitdbBox = nullptr;

namespace {

// fid_title.title is varchar(48), counted in GBK bytes.
constexpr int MaxTitleBytes = 48;

ColumnType typeShown(const QString& text)
{
    if (text == QStringLiteral("整数"))
        return ColumnType::Integer;
    if (text == QStringLiteral("实数"))
        return ColumnType::Real;
    return ColumnType::Text;
}

} // namespace

TInitdbBox::TInitdbBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TInitdbBox>())
{
    ui->setupUi(this);
    setFixedSize(671, 458);
    findRows();
    connect(ui->S00, &QSpinBox::valueChanged, this,
            [this] { Guarded([this] { showColumnRows(); }); });
    connect(ui->Button1, &QPushButton::clicked, this, [this] { Guarded([this] { confirm(); }); });
    connect(ui->Button2, &QPushButton::clicked, this, [this] { Guarded([this] { cancel(); }); });
}

TInitdbBox::~TInitdbBox() = default;

void TInitdbBox::findRows()
{
    Confirmed = false;
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
        showColumnRows();
}

void TInitdbBox::showColumnRows()
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

void TInitdbBox::confirm()
{
    const int k = qBound(1, ui->S00->value(), MaxColumns);
    const QString refusal = refusedTitleMessage(k);
    if (!refusal.isEmpty()) {
        MessageBox::Show(refusal);
        return;
    }

    TableDesign design;
    for (int n = 1; n <= k; ++n)
        design.columns.append({TitleEdits[n - 1]->text(),
                               typeShown(TypeBoxes[n - 1]->currentText()),
                               LengthSpins[n - 1]->value()});
    design.pictures = ui->CK1->isChecked();
    design.documents = ui->CK2->isChecked();
    MainTableSql = MainTableSqlFor(design);
    TitleTableSql = TitleTableSqlFor(design);

    Confirmed = true;
    accept();
}

void TInitdbBox::cancel()
{
    Confirmed = false;
    reject();
}
