#include "Set.h"
#include "app/AppState.h"
#include "app/Main.h"
#include "common/ApplicationTitle.h"
#include "common/FreshConnection.h"
#include "common/MessageBox.h"
#include "common/SqlText.h"
#include "common/_md5.h"

#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

// The settings dialog and the writing of what it confirms: the operator's own
// password, and for root the title and the page size, all in one command.
void TMainBox::SpeedButton9Click()
{
    FreshConnection work(FreshConnection::Mode::Prepare);
    const bool isRoot = AppState.OperatorName == QLatin1String("root");

    bool confirmed = false;
    QString password;
    QString title;
    QString pageSize;
    {
        TSetBox box(this);
        if (isRoot) {
            // The title the main window took from the options when it was created.
            box.Edit1->setText(ApplicationTitle());
            box.CSpinEdit1->setValue(AppState.PageSize);
        } else {
            for (QWidget* rootOnly : std::initializer_list<QWidget*>{
                     box.Label1, box.Edit1, box.Label4, box.CSpinEdit1, box.Label5})
                rootOnly->hide();
        }
        box.exec();
        confirmed = box.Confirmed;
        password = box.Edit2->text();
        title = box.Edit1->text();
        pageSize = QString::number(box.CSpinEdit1->value());
    }
    if (!confirmed)
        return;

    work.connect();
    // The next page load uses the new size, whatever becomes of the command.
    if (isRoot)
        AppState.PageSize = pageSize.toInt();

    QString command;
    if (!password.isEmpty())
        command += QStringLiteral("update fid_user set user_password='") +
                   PasswordDigest(password) + QStringLiteral("' where user_name='") +
                   QuoteDoubled(AppState.OperatorName) + QStringLiteral("';");
    if (isRoot) {
        command += QStringLiteral("update fid_set  set parameter='") + QuoteDoubled(title) +
                   QStringLiteral("' where options='title';");
        command += QStringLiteral("update fid_set  set parameter='") + pageSize +
                   QStringLiteral("' where options='pagesize';");
    }

    // A password changed without the options, or the reverse, would leave
    // the operator guessing what took effect.
    db::Transaction transaction(work.connection());
    db::Query& query = work.query();
    query.close();
    query.clearSql();
    query.addSql(command);
    query.execute();
    transaction.commit();
    MessageBox::Show(QStringLiteral("已经成功更新设置!"));
}
