#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "signin/FirstRunSchema.h"
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

// The three-column design (text of 20, integer, real) with the chosen
// attachment groups.
inline TableDesign threeColumnDesign(bool pictures, bool documents)
{
    return {{{QStringLiteral("名称"), ColumnType::Text, 20},
             {QStringLiteral("数量"), ColumnType::Integer, 10},
             {QStringLiteral("单价"), ColumnType::Real, 10}},
            pictures,
            documents};
}

// The program's first-run batch for a design.
inline QStringList firstRunBatch(const TableDesign& design)
{
    return FirstRunBatch(MainTableSqlFor(design), TitleTableSqlFor(design));
}

// The first-run batch of the three-column design with both groups.
inline QStringList standardFirstRun()
{
    return firstRunBatch(threeColumnDesign(true, true));
}
