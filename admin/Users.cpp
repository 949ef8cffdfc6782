#include "app/Main.h"

#include "ui_Main.h"

void TMainBox::ConnectAdminHandlers()
{
    Bind(ui->ShowAllUser, &QToolButton::clicked, &TMainBox::ShowAllUserClick);
}

void TMainBox::ShowAllUserClick()
{
    ADOQueryUser.close();
    ADOQueryUser.clearSql();
    ADOQueryUser.addSql(QStringLiteral("select id,user_name,user_alias,user_wr from fid_user "
                                       "where user_name<>'root' order by id"));
    ADOQueryUser.open();
}
