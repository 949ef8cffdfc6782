#include "Addmdiuser.h"
#include "app/Main.h"
#include "common/FreshConnection.h"
#include "common/MessageBox.h"
#include "common/SqlText.h"
#include "common/_md5.h"
#include "platform/grid/DataGrid.h"
#include "ui_Main.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// "0" for an operator who may only read, "1" for one who may also modify.
QString RightsValue(const TAddMdiUserBox& box)
{
    return box.CheckBox1->isChecked() ? QStringLiteral("0") : QStringLiteral("1");
}

// Each statement replaces the previous one on the operation's query.
void SetStatement(db::Query& query, const QString& statement)
{
    query.close();
    query.clearSql();
    query.addSql(statement);
}

} // namespace

void TMainBox::ConnectAdminHandlers()
{
    DataSourceUser = new grid::DataGrid(*ui->DBGrid2, ADOQueryUser, this);
    DataSourceUser->setGuard([](const std::function<void()>& action) { Guarded(action); });
    DataSourceUser->setColumns(DBGrid2Columns);
    DataSourceUser->setReadOnly(true);
    Bind(DataSourceUser, &grid::DataGrid::dataChange, &TMainBox::DataSourceMainDataChange);

    Bind(ui->ShowAllUser, &QToolButton::clicked, &TMainBox::ShowAllUserClick);
    Bind(ui->SpeedButton4, &QToolButton::clicked, &TMainBox::SpeedButton4Click);
    Bind(ui->SpeedButton5, &QToolButton::clicked, &TMainBox::SpeedButton5Click);
    Bind(ui->SpeedButton11, &QToolButton::clicked, &TMainBox::SpeedButton11Click);
    Bind(ui->SpeedButton9, &QToolButton::clicked, &TMainBox::SpeedButton9Click);
}

// Lists every operator but root, on the window's own connection.
void TMainBox::ShowAllUserClick()
{
    DataSourceUser->reopen([this] {
        ADOQueryUser.close();
        ADOQueryUser.clearSql();
        ADOQueryUser.addSql(QStringLiteral("select id,user_name,user_alias,user_wr from fid_user "
                                           "where user_name<>'root' order by id"));
        ADOQueryUser.open();
    });
}

void TMainBox::SpeedButton4Click()
{
    FreshConnection work(FreshConnection::Mode::Prepare);

    bool confirmed = false;
    QString account;
    QString alias;
    QString password;
    QString rights;
    {
        TAddMdiUserBox box;
        box.setWindowTitle(QStringLiteral("添加新用户"));
        box.Button1->setText(QStringLiteral("添加"));
        box.exec();
        confirmed = box.Confirmed;
        account = box.Edit1->text();
        alias = box.Edit2->text();
        password = box.Edit3->text();
        rights = RightsValue(box);
    }
    if (!confirmed)
        return;

    const QString duplicateCheck = QStringLiteral("select id from fid_user where user_name='") +
                                   QuoteDoubled(account) + QLatin1Char('\'');
    const QString insertion =
        QStringLiteral("INSERT INTO fid_user(user_name,user_password,user_alias,user_wr)") +
        QStringLiteral(" values('") + QuoteDoubled(account) + QStringLiteral("','") +
        PasswordDigest(password) + QStringLiteral("','") + QuoteDoubled(alias) +
        QStringLiteral("',") + rights + QStringLiteral(");");

    work.connect();
    db::Query& query = work.query();
    SetStatement(query, duplicateCheck);
    query.open();
    if (!query.eof()) {
        MessageBox::Show(QStringLiteral("已经存在该用户帐号,添加用户帐号操作中止!"));
        return;
    }
    SetStatement(query, insertion);
    query.execute();
    MessageBox::Show(QStringLiteral("已经成功添加了一个数据库操作员"));
    ShowAllUserClick();
}

void TMainBox::SpeedButton5Click()
{
    FreshConnection work(FreshConnection::Mode::Prepare);

    // With no operator listed the dialog opens with an empty account, which
    // it refuses to confirm: only cancelling leaves it.
    const bool hasRow = ADOQueryUser.isOpen() && ADOQueryUser.currentRow() >= 0;
    const auto field = [this, hasRow](int position) {
        return hasRow ? ADOQueryUser.text(position) : QString();
    };
    const QString key = field(0);

    bool confirmed = false;
    QString alias;
    QString password;
    QString rights;
    {
        TAddMdiUserBox box;
        box.setWindowTitle(QStringLiteral("修改用户"));
        box.Button1->setText(QStringLiteral("修改"));
        box.Edit1->setText(field(1));
        box.Edit1->setEnabled(false);
        box.Edit2->setText(field(2));
        box.LabelPassword->show();
        box.CheckBox1->setChecked(field(3) != QLatin1String("1"));
        box.exec();
        confirmed = box.Confirmed;
        alias = box.Edit2->text();
        password = box.Edit3->text();
        rights = RightsValue(box);
    }
    if (!confirmed)
        return;

    // Without a new password the stored digest stays.
    const QString update = password.isEmpty()
                               ? QStringLiteral("update fid_user set user_alias='") +
                                     QuoteDoubled(alias) + QStringLiteral("',user_wr='") + rights +
                                     QStringLiteral("' where id=") + key + QLatin1Char(';')
                               : QStringLiteral("update fid_user set user_alias='") +
                                     QuoteDoubled(alias) + QStringLiteral("',user_password='") +
                                     PasswordDigest(password) + QStringLiteral("',user_wr=") +
                                     rights + QStringLiteral(" where id=") + key + QLatin1Char(';');

    work.connect();
    SetStatement(work.query(), update);
    work.query().execute();
    MessageBox::Show(QStringLiteral("已经成功更新了用户!"));
    ShowAllUserClick();
}

void TMainBox::SpeedButton11Click()
{
    // A list that is not open, or has no rows, has nothing to delete.
    if (!ADOQueryUser.isOpen() || ADOQueryUser.currentRow() < 0)
        return;
    if (MessageBox::Show(QStringLiteral("你真的要删除该用户吗?"), MessageBox::YesNo) !=
        MessageBox::IdYes)
        return;
    // The row leaves the list and the table; the list is not read again.
    DataSourceUser->deleteCurrentRow();
}
