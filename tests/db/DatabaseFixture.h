#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "support/TestFolder.h"

#include <QCryptographicHash>
#include <QStringList>

// A fresh database of the test run's engine (see TestDatabase) with a
// program folder of its own, one connection and one query on it.
struct FreshDatabase
{
    TestFolder folder;
    db::Connection connection{folder.connectionString()};
    db::Query query{connection};

    void execute(const QStringList& lines)
    {
        query.close();
        query.clearSql();
        for (const QString& line : lines)
            query.addSql(line);
        query.execute();
    }

    void open(const QString& statement)
    {
        query.close();
        query.clearSql();
        query.addSql(statement);
        query.open();
    }

    // The first column of every row, as text.
    QStringList column(const QString& statement)
    {
        open(statement);
        QStringList texts;
        for (query.first(); !query.eof(); query.next())
            texts.append(query.text(0));
        return texts;
    }

    int count(const QString& statement)
    {
        query.clearSql();
        query.addSql(statement);
        return query.countRows();
    }
};

inline QString passwordDigest(const QByteArray& password)
{
    return QString::fromLatin1(QCryptographicHash::hash(password, QCryptographicHash::Md5).toHex());
}

// The data table of three columns (text of 20, integer, real) with the
// chosen attachment groups, as the designer writes it.
inline QString mainTableSql(bool pictures, bool documents)
{
    QString sql = QStringLiteral("create table fid_main(id int NOT NULL IDENTITY (1, 1),"
                                 "f_1 varchar(20),f_2 int,f_3 float,");
    if (pictures)
        sql += QStringLiteral("pic image,picmin image,picname varchar(240),");
    if (documents)
        sql += QStringLiteral("doc image,docname varchar(240));");
    sql = sql.trimmed();
    if (sql.endsWith(u','))
        sql = sql.left(sql.size() - 1) + QStringLiteral(");");
    return sql;
}

inline QString titleTableSql(const QStringList& titles, const QList<int>& lengths, bool pictures,
                             bool documents)
{
    QString sql = QStringLiteral("create table fid_title(id int NOT NULL IDENTITY (1, 1),"
                                 "title varchar(48), cLength integer);");
    for (int i = 0; i < titles.size(); ++i)
        sql += QStringLiteral("insert into fid_title(title,cLength) values ('%1',%2);")
                   .arg(titles.at(i))
                   .arg(lengths.at(i));
    sql += QStringLiteral("insert into fid_title(title,cLength) values ('pic',%1);")
               .arg(pictures ? 1 : 0);
    sql += QStringLiteral("insert into fid_title(title,cLength) values ('dbfile',%1);")
               .arg(documents ? 1 : 0);
    return sql;
}

// The twelve lines of the first-run batch.
inline QStringList firstRunBatch(const QString& mainSql, const QString& titleSql)
{
    return {
        QStringLiteral(
            "CREATE TABLE fid_user(id int NOT NULL IDENTITY (1, 1),user_name varchar(16),"),
        QStringLiteral("user_password varchar(32),user_alias varchar(32),"),
        QStringLiteral("user_wr integer,CONSTRAINT id PRIMARY KEY (id));"),
        QStringLiteral("INSERT INTO fid_user(user_name,user_password,user_alias,user_wr)"),
        QStringLiteral(" values('root','") + passwordDigest("480517") +
            QStringLiteral("','管理员',1);"),
        mainSql,
        titleSql,
        QStringLiteral("create table fid_set(id int NOT NULL IDENTITY (1, 1),options "
                       "varchar(24),parameter varchar(128));"),
        QStringLiteral("INSERT INTO fid_set(options,parameter)"),
        QStringLiteral(" values('title','Vardenix');"),
        QStringLiteral("INSERT INTO fid_set(options,parameter)"),
        QStringLiteral(" values('pagesize','50');"),
    };
}

// The first-run batch of the three-column design with both groups.
inline QStringList standardFirstRun()
{
    return firstRunBatch(
        mainTableSql(true, true),
        titleTableSql({QStringLiteral("名称"), QStringLiteral("数量"), QStringLiteral("单价")},
                      {20, 10, 10}, true, true));
}
