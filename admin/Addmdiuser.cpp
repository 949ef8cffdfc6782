#include "Addmdiuser.h"

#include "DialogChecks.h"
#include "platform/text/Gbk.h"
#include "ui_Addmdiuser.h"

#include <QGuiApplication>
#include <QScreen>

TAddMdiUserBox* AddMdiUserBox = nullptr;

namespace {

// What fid_user holds of an account and of a display name, in GBK bytes.
constexpr int AccountBytes = 16;
constexpr int AliasBytes = 32;

} // namespace

TAddMdiUserBox::TAddMdiUserBox(Purpose purpose, QWidget* parent)
    : ConfirmDialog(parent), ui(std::make_unique<Ui::TAddMdiUserBox>()), m_purpose(purpose)
{
    AddMdiUserBox = this;
    ui->setupUi(this);
    setFixedSize(403, 213);
    Edit1 = ui->Edit1;
    Edit2 = ui->Edit2;
    Edit3 = ui->Edit3;
    Edit4 = ui->Edit4;
    LabelPassword = ui->LabelPassword;
    CheckBox1 = ui->CheckBox1;
    setButtons(ui->Button1, ui->Button2);
    const bool modify = purpose == Purpose::Modify;
    setWindowTitle(modify ? QStringLiteral("修改用户") : QStringLiteral("添加新用户"));
    Button1->setText(modify ? QStringLiteral("修改") : QStringLiteral("添加"));
    Edit1->setEnabled(!modify);
    LabelPassword->setVisible(modify);

    // Centred on the screen, wherever the main window is.
    const QRect screenArea =
        (parent ? parent->screen() : QGuiApplication::primaryScreen())->availableGeometry();
    move(screenArea.center() - rect().center());
}

TAddMdiUserBox::~TAddMdiUserBox()
{
    if (AddMdiUserBox == this)
        AddMdiUserBox = nullptr;
}

// The first rule the input breaks, or an empty text. Lengths are GBK bytes,
// as the database counts them; values that the database could not hold as
// typed are refused here rather than by the server.
QString TAddMdiUserBox::refusal() const
{
    const QString account = Edit1->text();
    const QString alias = Edit2->text();
    const QString password = Edit3->text();
    if (account.isEmpty())
        return QStringLiteral("用户登录帐号不能为空!");
    if (password != Edit4->text())
        return QStringLiteral("两次输入的密码不一致!");
    const bool passwordTooShort = DialogChecks::IsShortPassword(password);
    if (m_purpose == Purpose::Add) {
        if (passwordTooShort)
            return QStringLiteral("密码的位数至少6位!");
    } else if (!password.isEmpty() && passwordTooShort) {
        return QStringLiteral("密码的位数少于6位或者不为空!");
    }

    if (!Gbk::canEncode(account))
        return QStringLiteral("用户帐号含有不能保存的字符，请换一个帐号!");
    if (!Gbk::canEncode(alias))
        return QStringLiteral("用户名称含有不能保存的字符，请换一个名称!");
    if (!Gbk::canEncode(password))
        return QStringLiteral("登录密码含有不能保存的字符，请换一个密码!");
    const QString longAccount =
        DialogChecks::LengthRefusal(QStringLiteral("用户帐号"), account, AccountBytes);
    if (!longAccount.isEmpty())
        return longAccount;
    return DialogChecks::LengthRefusal(QStringLiteral("用户名称"), alias, AliasBytes);
}
