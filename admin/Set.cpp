#include "Set.h"

#include "DialogChecks.h"
#include "common/ErrorReport.h"
#include "platform/text/Gbk.h"
#include "ui_Set.h"

#include <QShowEvent>

TSetBox* SetBox = nullptr;

namespace {

// What fid_set.parameter holds, in GBK bytes.
constexpr int TitleBytes = 128;
// Where the repeated-password row goes when only the password rows show.
constexpr int LonePasswordRowTop = 85;

} // namespace

TSetBox::TSetBox(QWidget* parent) : ConfirmDialog(parent), ui(std::make_unique<Ui::TSetBox>())
{
    SetBox = this;
    ui->setupUi(this);
    setFixedSize(406, 211);
    Edit1 = ui->Edit1;
    Edit2 = ui->Edit2;
    Edit3 = ui->Edit3;
    CSpinEdit1 = ui->CSpinEdit1;
    Label1 = ui->Label1;
    Label3 = ui->Label3;
    Label4 = ui->Label4;
    Label5 = ui->Label5;
    setButtons(ui->Button1, ui->Button2);

    // Centred on the window it is opened from.
    if (parent)
        move(parent->window()->frameGeometry().center() - rect().center());
}

TSetBox::~TSetBox()
{
    if (SetBox == this)
        SetBox = nullptr;
}

void TSetBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { placeRepeatedPassword(); });
}

// Without the title and page-size rows the repeated password moves down,
// nearer the buttons.
void TSetBox::placeRepeatedPassword()
{
    if (!Edit1->isHidden())
        return;
    Label3->move(Label3->x(), LonePasswordRowTop);
    Edit3->move(Edit3->x(), LonePasswordRowTop);
}

// The first rule the input breaks, or an empty text. Lengths are GBK bytes,
// as the database counts them; a title the database could not hold as typed
// is refused here rather than by the server.
QString TSetBox::refusal() const
{
    const QString password = Edit2->text();
    if (!password.isEmpty()) {
        if (DialogChecks::IsShortPassword(password))
            return QStringLiteral("密码的位数小于6位!");
        if (password != Edit3->text())
            return QStringLiteral("两次输入的密码不一致!");
        if (!Gbk::canEncode(password))
            return QStringLiteral("新密码含有不能保存的字符，请换一个密码!");
    } else if (Edit1->isHidden()) {
        return QStringLiteral("你还没有输入密码!");
    }

    if (!Edit1->isHidden()) {
        const QString title = Edit1->text();
        if (!Gbk::canEncode(title))
            return QStringLiteral("数据库应用名称含有不能保存的字符，请修改!");
        return DialogChecks::LengthRefusal(QStringLiteral("数据库应用名称"), title, TitleBytes);
    }
    return QString();
}
