#include "Login.h"

#include "Collation.h"
#include "Initdb.h"
#include "Settings.h"
#include "common/EngineMessage.h"
#include "common/ErrorReport.h"
#include "common/FreshConnection.h"
#include "common/MessageBox.h"
#include "common/SqlText.h"
#include "common/StepProgress.h"
#include "common/_md5.h"
#include "platform/db/Connection.h"
#include "platform/db/DbError.h"
#include "ui_Login.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>
#include <functional>

TLoginBox* LoginBox = nullptr;

namespace {

const char* const ConnectFailedMessage = "连接数据库错误，请重新设置你的数据库连接!";

// A refusal for want of encryption or of a trusted certificate says why and
// what the administrator can do; any other failure gives the usual message.
QString connectFailedText(const db::DbError& error)
{
    const QString failed = QString::fromUtf8(ConnectFailedMessage);
    const auto failure = EngineMessage::classify(error.message()).failure;
    if (failure != EngineMessage::Failure::ServerNotEncrypting &&
        failure != EngineMessage::Failure::ServerNotTrusted)
        return failed;
    return failed + QStringLiteral("\n\n") + EngineMessage::forOperator(error.message());
}

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

TLoginBox::TLoginBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TLoginBox>())
{
    Q_INIT_RESOURCE(forms);
    ui->setupUi(this);
    setFixedSize(441, 268);
    // The operator leaves the dialog through its own buttons only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    ui->EUser->installEventFilter(this);
    ui->EPassword->installEventFilter(this);

    const auto bind = [this](QPushButton* button, void (TLoginBox::*handler)()) {
        connect(button, &QPushButton::clicked, this,
                [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    bind(ui->Button1, &TLoginBox::signIn);
    bind(ui->Button2, &TLoginBox::quit);
    bind(ui->Button3, &TLoginBox::testConnection);
    bind(ui->Button5, &TLoginBox::leaveConnectionPage);
    bind(ui->Button6, &TLoginBox::showConnectionPage);

    readSettings();
}

TLoginBox::~TLoginBox() = default;

void TLoginBox::readSettings()
{
    const ConnectionSettings settings = ReadConnectionSettings();
    ui->EUser->setText(settings.dbuser);
    m_connectionString =
        BuildConnectionString(settings.host, settings.database, settings.user, settings.password);
    m_configured = !settings.host.isEmpty();
    ui->Edit1->setText(settings.host);
    ui->Edit4->setText(settings.user);
    ui->Edit3->setText(settings.database);
    ui->Edit5->setText(settings.password);
}

void TLoginBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { showFirstPage(); });
}

void TLoginBox::showFirstPage()
{
    if (m_configured)
        showSignInPage();
    else
        showConnectionPage();
}

void TLoginBox::showSignInPage()
{
    ui->PageControl1->setCurrentWidget(ui->TabSheet1);
    setWindowTitle(QStringLiteral("登录"));
    ui->EPassword->setFocus();
}

void TLoginBox::showConnectionPage()
{
    ui->PageControl1->setCurrentWidget(ui->TabSheet2);
    setWindowTitle(QStringLiteral("连接设置"));
}

void TLoginBox::testConnection()
{
    const QString host = ui->Edit1->text();
    const QString user = ui->Edit4->text();
    const QString database = ui->Edit3->text();
    const QString password = ui->Edit5->text();
    const QString port = ui->Edit2->text();

    m_connectionString = BuildConnectionString(host, database, user, password);
    QString refusal;
    {
        // An embedded database that does not exist yet passes: the designer
        // makes its file at the first sign-in.
        db::Connection connection(m_connectionString, db::MissingFile::Refuse);
        // A cancelled wait leaves the page as it is, with nothing saved.
        StepProgress progress(this, QStringLiteral("正在连接数据库服务器"),
                              StepProgress::Unit::Milliseconds);
        try {
            connection.connect(std::ref(progress));
        } catch (const db::DbError& error) {
            if (!connection.databaseFileMissing()) {
                MessageBox::Show(connectFailedText(error));
                return;
            }
        }
        // Settings that would turn the operators' Chinese text into "?" are
        // not kept.
        refusal = ChineseTextRefusal(connection);
    }
    if (!refusal.isEmpty()) {
        MessageBox::Show(refusal);
        return;
    }
    MessageBox::Show(QStringLiteral("连接数据库成功!"));
    WriteConnectionSettings(host, user, port, database, password);
    showSignInPage();
}

void TLoginBox::leaveConnectionPage()
{
    if (m_configured)
        showSignInPage();
    else
        finish(Rejected);
}

void TLoginBox::signIn()
{
    ++m_attempts;
    bool signedIn = false;
    {
        FreshConnection work(m_connectionString, FreshConnection::Mode::Prepare);
        // Only the first run makes an embedded database's file.
        work.connection().setMissingFile(db::MissingFile::Refuse);
        bool connected = true;
        bool missing = false;
        try {
            work.connect();
        } catch (const db::DbError& error) {
            missing = work.connection().databaseFileMissing();
            if (!missing) {
                connected = false;
                MessageBox::Show(connectFailedText(error));
                terminateProgram();
            }
        }
        if (connected) {
            // Only an error of the probe counts: it means a database without
            // the program's tables.
            bool fresh = missing;
            if (!fresh) {
                try {
                    work.query().setSql(
                        QStringLiteral("SELECT 1 FROM fid_user WHERE user_name='root'"));
                    work.query().open();
                } catch (const db::DbError&) {
                    fresh = true;
                }
            }
            if (fresh)
                runFirstRun(work, missing);
            else
                signedIn = passwordMatches(work);
        }
    }

    if (signedIn) {
        WriteOperatorName(ui->EUser->text());
        SignedIn = true;
        finish(Accepted);
        return;
    }
    if (m_attempts >= 3) {
        MessageBox::Show(QStringLiteral("三次登录都没有成功，程序退出!"));
        terminateProgram();
    }
}

bool TLoginBox::passwordMatches(FreshConnection& work)
{
    const QString digest = PasswordDigest(ui->EPassword->text());
    db::Query& query = work.query();
    query.setSql(QStringLiteral("SELECT user_password FROM fid_user WHERE user_name='%1'")
                     .arg(QuoteDoubled(ui->EUser->text())));
    query.open();
    const QString stored = query.eof() ? QString() : query.text(0);
    if (stored == digest)
        return true;
    MessageBox::Show(QStringLiteral("用户名或密码错误，不能登录!"));
    return false;
}

void TLoginBox::runFirstRun(FreshConnection& work, bool makeFile)
{
    // A database that would turn Chinese text into "?" is not set up: the
    // designer is not shown and nothing is created.
    const QString refusal = ChineseTextRefusal(work.connection());
    if (!refusal.isEmpty()) {
        MessageBox::Show(refusal);
        return;
    }

    bool confirmed = false;
    QString mainTableSql;
    QString titleTableSql;
    {
        TInitdbBox designer;
        InitdbBox = &designer;
        designer.exec();
        InitdbBox = nullptr;
        confirmed = designer.Confirmed;
        mainTableSql = designer.MainTableSql;
        titleTableSql = designer.TitleTableSql;
    }
    if (!confirmed)
        return;

    if (makeFile)
        work.connection().setMissingFile(db::MissingFile::Create);
    db::Query& query = work.query();
    query.close();
    query.clearSql();
    for (const QString& line : FirstRunBatch(mainTableSql, titleTableSql))
        query.addSql(line);
    // All or nothing: a half-made database would pass the probe and could
    // never be set up again.
    db::Transaction transaction(work.connection());
    query.execute();
    transaction.commit();

    ui->EUser->setText(QStringLiteral("root"));
    ui->EPassword->setText(DefaultRootPassword);
    ui->EUser->setEnabled(false);
    ui->EPassword->setFocus();
}

void TLoginBox::quit()
{
    finish(Rejected);
}

bool TLoginBox::accountKeyPressed(int key)
{
    if (isEnter(key)) {
        ui->EPassword->setFocus();
        return true;
    }
    if (key == Qt::Key_Escape) {
        ui->EUser->clear();
        return true;
    }
    return false;
}

bool TLoginBox::passwordKeyPressed(int key)
{
    if (isEnter(key)) {
        ui->Button1->setFocus();
        return true;
    }
    if (key == Qt::Key_Escape) {
        ui->EPassword->clear();
        return true;
    }
    return false;
}

bool TLoginBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (watched == ui->EUser)
            return accountKeyPressed(key);
        if (watched == ui->EPassword)
            return passwordKeyPressed(key);
    }
    return QDialog::eventFilter(watched, event);
}

// The program ends: the dialog's modal loop ends at its next turn without a
// sign-in, and the start-up sequence then creates no main window.
void TLoginBox::terminateProgram()
{
    QTimer::singleShot(0, this, [this] { finish(Rejected); });
}

void TLoginBox::finish(DialogCode result)
{
    m_finishing = true;
    done(result);
}

// Escape and the window's close request leave the dialog open: only its own
// buttons end it.
void TLoginBox::reject() {}

void TLoginBox::closeEvent(QCloseEvent* event)
{
    if (m_finishing)
        QDialog::closeEvent(event);
    else
        event->ignore();
}
