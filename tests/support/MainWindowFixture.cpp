#include "MainWindowFixture.h"

#include "common/FileDialogs.h"
#include "common/SqlText.h"
#include "common/_md5.h"
#include "platform/db/StatementLog.h"
#include "signin/Initdb.h"
#include "signin/Settings.h"

#include <QGuiApplication>

MainWindowFixture::MainWindowFixture()
{
    QGuiApplication::setApplicationDisplayName(QString());
}

MainWindowFixture::~MainWindowFixture()
{
    db::setStatementObserver({});
    FileDialogs::setChooser({});
}

QString MainWindowFixture::MainTableSql(const QList<DesignColumn>& columns, bool pictures,
                                        bool documents)
{
    QString sql = QStringLiteral("create table fid_main(id int NOT NULL IDENTITY (1, 1)");
    for (int n = 0; n < columns.size(); ++n) {
        const DesignColumn& column = columns.at(n);
        sql += QStringLiteral(",f_%1 ").arg(n + 1);
        if (column.type == QLatin1String("varchar"))
            sql += QStringLiteral("varchar(%1)").arg(column.length);
        else
            sql += column.type;
    }
    if (pictures)
        sql += QStringLiteral(",pic image,picmin image,picname varchar(240)");
    if (documents)
        sql += QStringLiteral(",doc image,docname varchar(240)");
    return sql + QStringLiteral(");");
}

QString MainWindowFixture::TitleTableSql(const QList<DesignColumn>& columns, bool pictures,
                                         bool documents)
{
    QString sql = QStringLiteral("create table fid_title(id int NOT NULL IDENTITY (1, 1),title "
                                 "varchar(48), cLength integer);");
    const auto insert = [&sql](const QString& title, int length) {
        sql += QStringLiteral("insert into fid_title(title,cLength) values ('%1',%2);")
                   .arg(QuoteDoubled(title))
                   .arg(length);
    };
    for (const DesignColumn& column : columns)
        insert(column.title, column.length);
    insert(QStringLiteral("pic"), pictures ? 1 : 0);
    insert(QStringLiteral("dbfile"), documents ? 1 : 0);
    return sql;
}

void MainWindowFixture::createDatabase(const QList<DesignColumn>& columns, bool pictures,
                                       bool documents, const QString& operatorName)
{
    execute(FirstRunBatch(MainTableSql(columns, pictures, documents),
                          TitleTableSql(columns, pictures, documents)));
    signIn(operatorName);
}

void MainWindowFixture::addOperator(const QString& name, const QString& alias, int right)
{
    execute(
        {QStringLiteral("INSERT INTO fid_user(user_name,user_password,user_alias,user_wr) "
                        "values('%1','%2','%3',%4);")
             .arg(QuoteDoubled(name), PasswordDigest(QStringLiteral("123456")), QuoteDoubled(alias))
             .arg(right)});
}

void MainWindowFixture::signIn(const QString& operatorName)
{
    const TestDatabase& database = m_folder.database();
    WriteConnectionSettings(database.host(), database.user(), QStringLiteral("1433"),
                            database.name(), database.password());
    WriteOperatorName(operatorName);
}

void MainWindowFixture::execute(const QStringList& lines)
{
    m_folder.database().execute(lines);
}

QList<QStringList> MainWindowFixture::rows(const QString& statement)
{
    return m_folder.database().rows(statement);
}

QStringList MainWindowFixture::errorTexts() const
{
    QStringList texts;
    for (const MessageBox::Shown& shown : m_messages.shown()) {
        if (shown.flags & MessageBox::ErrorIcon)
            texts.append(shown.text);
    }
    return texts;
}
