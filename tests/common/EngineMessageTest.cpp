#include "common/EngineMessage.h"

#include <QTest>

using EngineMessage::Failure;

Q_DECLARE_METATYPE(EngineMessage::Failure)

// The engines' texts as they reach the program, each read as the failure
// the operator is told about.
class EngineMessageTest : public QObject
{
    Q_OBJECT

private slots:
    void classifies_data();
    void classifies();
    void leadComesFirstThenTheEngineText_data();
    void leadComesFirstThenTheEngineText();
};

void EngineMessageTest::classifies_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("subject");

    QTest::newRow("database file missing")
        << "The database file /opt/vardenix/demo.db does not exist." << Failure::DatabaseFileMissing
        << "/opt/vardenix/demo.db";
    QTest::newRow("database file locked") << "database is locked" << Failure::DatabaseLocked << "";
    QTest::newRow("table locked") << "database table is locked" << Failure::DatabaseLocked << "";
    QTest::newRow("server lock timeout")
        << "[FreeTDS][SQL Server]Lock request time out period exceeded. (1222)"
        << Failure::DatabaseLocked << "";
    QTest::newRow("not a database") << "file is not a database" << Failure::NotADatabase << "";
    QTest::newRow("damaged file") << "database disk image is malformed" << Failure::NotADatabase
                                  << "";
    QTest::newRow("read-only file")
        << "attempt to write a readonly database" << Failure::ReadOnly << "";
    QTest::newRow("read-only server database")
        << "[FreeTDS][SQL Server]Failed to update database \"office\" because the database is "
           "read-only."
        << Failure::ReadOnly << "";
    QTest::newRow("disk full") << "database or disk is full" << Failure::DiskFull << "";
    QTest::newRow("server filegroup full")
        << "[FreeTDS][SQL Server]Could not allocate space for object 'dbo.fid_main' in database "
           "'office' because the 'PRIMARY' filegroup is full."
        << Failure::DiskFull << "";
    QTest::newRow("server log full")
        << "[FreeTDS][SQL Server]The transaction log for database 'office' is full due to "
           "'LOG_BACKUP'."
        << Failure::DiskFull << "";
    QTest::newRow("file that cannot be opened")
        << "Cannot open the database file /opt/vardenix/demo.db: unable to open database file "
           "(Error opening database)"
        << Failure::CannotOpenDatabase << "";
    QTest::newRow("server gone")
        << "[FreeTDS][SQL Server]Communication link failure (QODBC: Unable to execute statement)"
        << Failure::ServerGone << "";
    QTest::newRow("server not there")
        << "Cannot connect to SQL Server dbhost,1433: [FreeTDS][SQL Server]Unable to connect: "
           "Adaptive Server is unavailable or does not exist"
        << Failure::ServerGone << "";
    QTest::newRow("server read failed")
        << "[FreeTDS][SQL Server]Read from the server failed" << Failure::ServerGone << "";
    QTest::newRow("session closed after a failed rollback")
        << "The connection to SQL Server was closed after a failed rollback." << Failure::ServerGone
        << "";
    QTest::newRow("login refused")
        << "Cannot connect to SQL Server dbhost,1433: [FreeTDS][SQL Server]Login failed for user "
           "'sa'. [FreeTDS][SQL Server]Unable to connect to data source, 28000;08001"
        << Failure::LoginRefused << "";
    QTest::newRow("login refused without a reason")
        << "The login to SQL Server dbhost,1433 failed; the server gave no reason."
        << Failure::LoginRefused << "";
    QTest::newRow("login refused, Chinese server")
        << "[FreeTDS][SQL Server]用户 'sa' 登录失败。" << Failure::LoginRefused << "";
    QTest::newRow("no such database on the server")
        << "[FreeTDS][SQL Server]Cannot open database \"office\" requested by the login. The "
           "login failed."
        << Failure::LoginRefused << "";
    QTest::newRow("value too long, server")
        << "[FreeTDS][SQL Server]String or binary data would be truncated. (8152)"
        << Failure::ValueTooLong << "";
    QTest::newRow("value too long, embedded")
        << "String or binary data would be truncated in table 'fid_main', column 'f_1'."
        << Failure::ValueTooLong << "";
    QTest::newRow("value too long, earlier embedded file")
        << "CHECK constraint failed: gbk_length(f_1) <= 20" << Failure::ValueTooLong << "";
    QTest::newRow("not a number")
        << "[FreeTDS][SQL Server]Conversion failed when converting the varchar value 'x' to data "
           "type int."
        << Failure::NotANumber << "";
    QTest::newRow("not a number for a real")
        << "[FreeTDS][SQL Server]Error converting data type nvarchar to float."
        << Failure::NotANumber << "";
    QTest::newRow("text in an integer column")
        << "cannot store TEXT value in INTEGER column fid_main.f_2" << Failure::NotANumber << "";
    QTest::newRow("text in a real column")
        << "cannot store TEXT value in REAL column fid_main.f_3" << Failure::NotANumber << "";
    QTest::newRow("number too large")
        << "The conversion of the varchar value '99999999999' overflowed an int column."
        << Failure::NotANumber << "";
    QTest::newRow("document unreadable")
        << "Cannot read the file /home/li/计划: 书.doc: No such file or directory"
        << Failure::FileUnreadable << "/home/li/计划: 书.doc";
    QTest::newRow("document is a folder") << "Cannot read the file /home/li/docs: it is a folder."
                                          << Failure::FileUnreadable << "/home/li/docs";
    QTest::newRow("export unwritable") << "Cannot write the file /mnt/x.doc: Permission denied"
                                       << Failure::FileUnwritable << "/mnt/x.doc";
    QTest::newRow("record changed elsewhere")
        << "The row with id 7 in fid_Main was changed or removed by someone else since it was read."
        << Failure::RowChanged << "fid_Main";
    QTest::newRow("operator changed elsewhere")
        << "The row with id 3 in fid_user was changed or removed by someone else since it was read."
        << Failure::RowChanged << "fid_user";
    QTest::newRow("anything else") << "near \"selec\": syntax error" << Failure::Other << "";
    QTest::newRow("empty") << "" << Failure::Other << "";
}

void EngineMessageTest::classifies()
{
    QFETCH(QString, text);
    QFETCH(Failure, failure);
    QFETCH(QString, subject);
    const EngineMessage::Classification classification = EngineMessage::classify(text);
    QCOMPARE(classification.failure, failure);
    QCOMPARE(classification.subject, subject);
}

void EngineMessageTest::leadComesFirstThenTheEngineText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lead");
    QTest::newRow("missing file")
        << "The database file /opt/vardenix/demo.db does not exist."
        << "数据库文件不存在: /opt/vardenix/demo.db\n这一步没有完成。请把数据库文件放回原处后再试，"
           "或者通知管理员。";
    QTest::newRow("document unreadable")
        << "Cannot read the file /tmp/a.doc: No such file or directory"
        << "无法读取文件 /tmp/a.doc。请确认文件存在并且可以读取。";
    QTest::newRow("not a database")
        << "file is not a database"
        << "数据库文件已损坏或者不是数据库文件，无法读取。请从备份恢复数据库文件，或者通知管理员。";
    QTest::newRow("anything else")
        << "near \"selec\": syntax error"
        << "数据库操作没有完成。请稍后再试；问题仍在时，请把下面的信息告诉管理员。";
}

void EngineMessageTest::leadComesFirstThenTheEngineText()
{
    QFETCH(QString, text);
    QFETCH(QString, lead);
    QCOMPARE(EngineMessage::forOperator(text), lead + QStringLiteral("\n\n详细信息: ") + text);
}

QTEST_GUILESS_MAIN(EngineMessageTest)
#include "EngineMessageTest.moc"
