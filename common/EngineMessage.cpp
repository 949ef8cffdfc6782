#include "EngineMessage.h"

#include <QRegularExpression>

namespace EngineMessage {
namespace {

struct Pattern
{
    Failure failure;
    const char* expression; // case-insensitive; its one group, if any, is the subject
};

// The first pattern that matches decides. A login refusal comes before the
// unreachable server, whose words FreeTDS adds to it.
const Pattern Patterns[] = {
    {Failure::DatabaseFileMissing, "^The database file (.+) does not exist\\.$"},
    {Failure::ServerNotEncrypting, "does not encrypt its sessions"},
    {Failure::ServerNotTrusted, "does not chain to a certificate of"},
    {Failure::ServerNotTrusted, "The file of trusted certificates"},
    {Failure::LoginRefused, "Login failed for user"},
    {Failure::LoginRefused, "The login to SQL Server .* failed"},
    {Failure::LoginRefused, "Cannot open database .* requested by the login"},
    {Failure::LoginRefused, "登录失败"},
    {Failure::ServerGone, "Communication link failure"},
    {Failure::ServerGone, "Adaptive Server is unavailable or does not exist"},
    {Failure::ServerGone, "Unable to connect"},
    {Failure::ServerGone, "(?:Read from|Write to) the server failed"},
    {Failure::ServerGone, "Login timeout expired|Server is unavailable|Connection reset"},
    {Failure::ServerGone, "Cannot connect to SQL Server"},
    {Failure::ServerGone, "The connection to SQL Server was closed"},
    {Failure::DatabaseLocked, "database (?:table )?is locked"},
    {Failure::DatabaseLocked, "Lock request time out period exceeded|was deadlocked"},
    {Failure::NotADatabase, "file is not a database|database disk image is malformed"},
    {Failure::ReadOnly, "attempt to write a readonly database"},
    {Failure::ReadOnly, "because the database is read-only"},
    {Failure::DiskFull, "database or disk is full|No space left on device"},
    {Failure::DiskFull, "Could not allocate space for object|filegroup is full"},
    {Failure::DiskFull, "The transaction log for database .* is full"},
    {Failure::CannotOpenDatabase, "unable to open database file"},
    {Failure::CannotOpenDatabase, "Cannot open the database file"},
    {Failure::ValueTooLong, "String or binary data would be truncated"},
    {Failure::ValueTooLong, "CHECK constraint failed: gbk_length"},
    {Failure::NotANumber, "Conversion failed when converting"},
    {Failure::NotANumber, "Error converting data type"},
    {Failure::NotANumber, "overflowed an int column"},
    {Failure::NotANumber, "cannot store TEXT value in (?:INTEGER|REAL) column"},
    {Failure::FileUnreadable, "^Cannot read the file (.+): "},
    {Failure::FileUnwritable, "^Cannot write the file (.+): "},
    {Failure::RowChanged, "^The row with .* in (\\S+) was changed or removed by someone else"},
};

} // namespace

Classification classify(const QString& engineText)
{
    for (const Pattern& pattern : Patterns) {
        const QRegularExpression expression(QString::fromUtf8(pattern.expression),
                                            QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = expression.match(engineText);
        if (match.hasMatch())
            return {pattern.failure,
                    match.lastCapturedIndex() >= 1 ? match.captured(1) : QString()};
    }
    return {};
}

QString lead(const Classification& classification)
{
    switch (classification.failure) {
    case Failure::DatabaseFileMissing:
        return QStringLiteral("数据库文件不存在: %1\n这一步没有完成。请把数据库文件放回原处后再试，"
                              "或者通知管理员。")
            .arg(classification.subject);
    case Failure::DatabaseLocked:
        return QStringLiteral("数据库正被其他程序占用，这一步没有完成。请稍候再试；一直如此时，"
                              "请关闭正在使用数据库的其他程序。");
    case Failure::NotADatabase:
        return QStringLiteral(
            "数据库文件已损坏或者不是数据库文件，无法读取。请从备份恢复数据库文件，"
            "或者通知管理员。");
    case Failure::ReadOnly:
        return QStringLiteral("数据库是只读的，修改没有保存。请让管理员给数据库文件和它所在的文件夹"
                              "加上写入权限。");
    case Failure::DiskFull:
        return QStringLiteral("磁盘或数据库的空间已满，数据没有保存。请腾出磁盘空间后再试，"
                              "或者通知管理员。");
    case Failure::CannotOpenDatabase:
        return QStringLiteral("无法打开数据库文件。请确认程序所在的文件夹存在并且可以读写，"
                              "或者通知管理员。");
    case Failure::ServerGone:
        return QStringLiteral("连接不上数据库服务器，这一步没有完成。请检查网络和数据库服务器，"
                              "稍后再试。");
    case Failure::ServerNotEncrypting:
        return QStringLiteral(
            "数据库服务器不支持加密连接，程序没有登录，密码和记录都没有在网络上发送。"
            "请管理员给SQL Server安装证书，并在SQL Server配置管理器中把“强制加密”"
            "(Force Encryption)设为“是”，重新启动SQL Server服务后再试。");
    case Failure::ServerNotTrusted:
        return QStringLiteral(
            "数据库服务器出示的证书不是程序旁边的 sqlserver-ca.pem 中的证书签发的，"
            "可能有别的机器冒充数据库服务器。程序没有登录，密码和记录都没有发送。"
            "请管理员确认服务器的证书：把服务器的证书(或签发它的证书)以PEM格式导出，"
            "放到程序旁边的 sqlserver-ca.pem 中。");
    case Failure::LoginRefused:
        return QStringLiteral(
            "数据库服务器拒绝了登录。请在连接设置中检查用户名、密码和数据库名称。");
    case Failure::ValueTooLong:
        return QStringLiteral("输入的内容太长，超出了这一栏的长度(一个汉字算两个字节)，没有保存。"
                              "请缩短后再保存。");
    case Failure::NotANumber:
        return QStringLiteral("有的值不是数字，不能当作数字处理。请在数字栏中输入数字；"
                              "用数字搜索文字栏时，这一栏的每个值都必须是数字。");
    case Failure::FileUnreadable:
        return QStringLiteral("无法读取文件 %1。请确认文件存在并且可以读取。")
            .arg(classification.subject);
    case Failure::FileUnwritable:
        return QStringLiteral("无法写入文件 %1。请确认文件夹存在、可以写入，并且磁盘还有空间。")
            .arg(classification.subject);
    case Failure::RowChanged:
        if (classification.subject.compare(QLatin1String("fid_user"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("这个用户在列出之后已被别人修改或删除，这一步没有完成。"
                                  "请点显示所有用户，看过现在的用户后再试。");
        return QStringLiteral("这条记录在显示之后已被别人修改或删除，这一步没有完成，别人保存的内容"
                              "没有被覆盖。你输入的内容还留在表格中：请按Esc放弃，再点管理/查看，"
                              "看过记录现在的值后再改。");
    case Failure::Other:
        break;
    }
    return QStringLiteral("数据库操作没有完成。请稍后再试；问题仍在时，请把下面的信息告诉管理员。");
}

QString forOperator(const QString& engineText)
{
    return lead(classify(engineText)) + QStringLiteral("\n\n详细信息: ") + engineText;
}

} // namespace EngineMessage
