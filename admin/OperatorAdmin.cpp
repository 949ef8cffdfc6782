#include "OperatorAdmin.h"

#include "Addmdiuser.h"
#include "Set.h"
#include "common/ApplicationTitle.h"
#include "common/ErrorReport.h"
#include "common/FreshConnection.h"
#include "common/MessageBox.h"
#include "common/SqlText.h"
#include "common/_md5.h"
#include "platform/grid/DataGrid.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>

namespace {

QList<grid::Column> OperatorColumns()
{
    return {
        {QStringLiteral("id"), QStringLiteral("用户序号"), 0, Qt::AlignCenter, Qt::black},
        {QStringLiteral("user_name"), QStringLiteral("用户帐号"), 120, Qt::AlignCenter, Qt::black},
        {QStringLiteral("user_alias"), QStringLiteral("用户名称"), 120, Qt::AlignCenter, Qt::black},
        {QStringLiteral("user_wr"), QStringLiteral("修改权限"), 80, Qt::AlignCenter, Qt::black},
    };
}

// "0" for an operator who may only read, "1" for one who may also modify.
QString RightsValue(const TAddMdiUserBox& box)
{
    return box.CheckBox1->isChecked() ? QStringLiteral("0") : QStringLiteral("1");
}

} // namespace

OperatorAdmin::OperatorAdmin(const Controls& controls, const Session& session,
                             db::Connection& connection, QWidget& window)
    : QObject(&window), m_query(connection), m_columns(OperatorColumns()), m_controls(controls),
      m_session(session), m_window(window)
{
    m_grid = new grid::DataGrid(*m_controls.DBGrid2, m_query, this);
    m_grid->setGuard([](const std::function<void()>& action) { Guarded(action); });
    m_grid->setColumns(m_columns);
    m_grid->setReadOnly(true);
    connect(m_grid, &grid::DataGrid::dataChange, this, &OperatorAdmin::currentRowChanged);

    const Controls& c = m_controls;
    ConnectGuarded(c.ShowAllUser, &QToolButton::clicked, this, &OperatorAdmin::listOperators);
    ConnectGuarded(c.SpeedButton4, &QToolButton::clicked, this, &OperatorAdmin::addOperator);
    ConnectGuarded(c.SpeedButton5, &QToolButton::clicked, this, &OperatorAdmin::modifyOperator);
    ConnectGuarded(c.SpeedButton11, &QToolButton::clicked, this, &OperatorAdmin::deleteOperator);
    ConnectGuarded(c.SpeedButton9, &QToolButton::clicked, this, &OperatorAdmin::changeSettings);
}

// Lists every operator but root, on the window's own connection.
void OperatorAdmin::listOperators()
{
    m_grid->reopen([this] {
        m_query.setSql(QStringLiteral("select id,user_name,user_alias,user_wr from fid_user "
                                      "where user_name<>'root' order by id"));
        m_query.open();
    });
}

void OperatorAdmin::addOperator()
{
    FreshConnection work(m_session.connectionString, FreshConnection::Mode::Prepare);

    bool confirmed = false;
    QString account;
    QString alias;
    QString password;
    QString rights;
    {
        TAddMdiUserBox box(TAddMdiUserBox::Purpose::Add);
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
    query.setSql(duplicateCheck);
    query.open();
    if (!query.eof()) {
        MessageBox::Show(QStringLiteral("已经存在该用户帐号,添加用户帐号操作中止!"));
        return;
    }
    query.setSql(insertion);
    query.execute();
    MessageBox::Show(QStringLiteral("已经成功添加了一个数据库操作员"));
    listOperators();
}

void OperatorAdmin::modifyOperator()
{
    FreshConnection work(m_session.connectionString, FreshConnection::Mode::Prepare);

    // With no operator listed the dialog opens with an empty account, which
    // it refuses to confirm: only cancelling leaves it.
    const bool hasRow = m_query.isOpen() && m_query.currentRow() >= 0;
    const auto field = [this, hasRow](int position) {
        return hasRow ? m_query.text(position) : QString();
    };
    const QString key = field(0);

    bool confirmed = false;
    QString alias;
    QString password;
    QString rights;
    {
        TAddMdiUserBox box(TAddMdiUserBox::Purpose::Modify);
        box.Edit1->setText(field(1));
        box.Edit2->setText(field(2));
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
    work.query().setSql(update);
    if (work.query().execute() == 0) {
        MessageBox::Show(QStringLiteral("这个用户已不在数据库中,可能已被别人删除,没有更新。"
                                        "请点显示所有用户刷新后再试。"));
        return;
    }
    MessageBox::Show(QStringLiteral("已经成功更新了用户!"));
    listOperators();
}

void OperatorAdmin::deleteOperator()
{
    // A list that is not open, or has no rows, has nothing to delete.
    if (!m_query.isOpen() || m_query.currentRow() < 0)
        return;
    if (MessageBox::Show(QStringLiteral("你真的要删除该用户吗?"), MessageBox::YesNo) !=
        MessageBox::IdYes)
        return;
    // The row leaves the list and the table; the list is not read again.
    m_grid->deleteCurrentRow();
}

// The settings dialog and the writing of what it confirms: the operator's own
// password, and for root the title and the page size, all in one command.
void OperatorAdmin::changeSettings()
{
    FreshConnection work(m_session.connectionString, FreshConnection::Mode::Prepare);
    const bool isRoot = m_session.isRoot();

    bool confirmed = false;
    QString password;
    QString title;
    QString pageSize;
    {
        TSetBox box(&m_window);
        if (isRoot) {
            // The title the main window took from the options when it was created.
            box.Edit1->setText(ApplicationTitle());
            box.CSpinEdit1->setValue(m_session.pageSize);
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
        emit pageSizeChosen(pageSize.toInt());

    QString command;
    int rowsToChange = 0; // each statement changes one row
    if (!password.isEmpty()) {
        ++rowsToChange;
        command += QStringLiteral("update fid_user set user_password='") +
                   PasswordDigest(password) + QStringLiteral("' where user_name='") +
                   QuoteDoubled(m_session.operatorName) + QStringLiteral("';");
    }
    if (isRoot) {
        rowsToChange += 2;
        command += QStringLiteral("update fid_set  set parameter='") + QuoteDoubled(title) +
                   QStringLiteral("' where options='title';");
        command += QStringLiteral("update fid_set  set parameter='") + pageSize +
                   QStringLiteral("' where options='pagesize';");
    }

    // A password changed without the options, or the reverse, would leave
    // the operator guessing what took effect.
    db::Transaction transaction(work.connection());
    work.query().setSql(command);
    if (work.query().execute() != rowsToChange) {
        // Leaving without the commit undoes the rows that were found.
        MessageBox::Show(QStringLiteral("设置没有保存:数据库中已经没有你的用户帐号或要修改的设置项,"
                                        "可能已被别人删除,什么都没有改变。请通知管理员。"));
        return;
    }
    transaction.commit();
    MessageBox::Show(QStringLiteral("已经成功更新设置!"));
}
