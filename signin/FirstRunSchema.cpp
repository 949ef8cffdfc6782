#include "FirstRunSchema.h"

#include "common/SqlText.h"
#include "common/_md5.h"

namespace {

QString columnDefinition(int n, const DesignedColumn& column)
{
    switch (column.type) {
    case ColumnType::Integer:
        return QStringLiteral("f_%1 int,").arg(n);
    case ColumnType::Real:
        return QStringLiteral("f_%1 float,").arg(n);
    case ColumnType::Text:
        break;
    }
    return QStringLiteral("f_%1 varchar(%2),").arg(n).arg(column.length);
}

QString titleInsert(const QString& title, int length)
{
    return QStringLiteral("insert into fid_title(title,cLength) values ('%1',%2);")
        .arg(QuoteDoubled(title))
        .arg(length);
}

} // namespace

QString MainTableSqlFor(const TableDesign& design)
{
    QString sql = QStringLiteral("create table fid_main(id int NOT NULL IDENTITY (1, 1),");
    for (int n = 1; n <= design.columns.size(); ++n)
        sql += columnDefinition(n, design.columns.at(n - 1));
    if (design.pictures)
        sql += QStringLiteral("pic image,picmin image,picname varchar(240),");
    if (design.documents)
        sql += QStringLiteral("doc image,docname varchar(240));");
    sql = sql.trimmed();
    if (sql.endsWith(QLatin1Char(','))) {
        sql.chop(1);
        sql += QStringLiteral(");");
    }
    return sql;
}

QString TitleTableSqlFor(const TableDesign& design)
{
    QString sql = QStringLiteral("create table fid_title(id int NOT NULL IDENTITY (1, 1),"
                                 "title varchar(48), cLength integer);");
    for (const DesignedColumn& column : design.columns)
        sql += titleInsert(column.title, column.length);
    sql += QStringLiteral("insert into fid_title(title,cLength) values ('pic',%1);")
               .arg(design.pictures ? 1 : 0);
    sql += QStringLiteral("insert into fid_title(title,cLength) values ('dbfile',%1);")
               .arg(design.documents ? 1 : 0);
    return sql;
}

const QString DefaultRootPassword = QStringLiteral("480517");

QStringList FirstRunBatch(const QString& mainTableSql, const QString& titleTableSql)
{
    return {
        QStringLiteral(
            "CREATE TABLE fid_user(id int NOT NULL IDENTITY (1, 1),user_name varchar(16),"),
        QStringLiteral("user_password varchar(32),user_alias varchar(32),"),
        QStringLiteral("user_wr integer,CONSTRAINT id PRIMARY KEY (id));"),
        QStringLiteral("INSERT INTO fid_user(user_name,user_password,user_alias,user_wr)"),
        QStringLiteral(" values('root','%1','管理员',1);").arg(PasswordDigest(DefaultRootPassword)),
        mainTableSql,
        titleTableSql,
        QStringLiteral("create table fid_set(id int NOT NULL IDENTITY (1, 1),options varchar(24),"
                       "parameter varchar(128));"),
        QStringLiteral("INSERT INTO fid_set(options,parameter)"),
        QStringLiteral(" values('title','Vardenix');"),
        QStringLiteral("INSERT INTO fid_set(options,parameter)"),
        QStringLiteral(" values('pagesize','50');"),
    };
}
