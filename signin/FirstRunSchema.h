#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The statements that set up a database without the program's tables, as
// text, apart from the designer dialog so that tests build their databases
// with the very same texts.

// The types the designer offers for a data column.
enum class ColumnType
{
    Text,
    Integer,
    Real,
};

// One data column as designed. The length is the designer's spin box: the
// varchar length of a text column, and fid_title.cLength for every type.
struct DesignedColumn
{
    QString title;
    ColumnType type = ColumnType::Text;
    int length = 10;
};

// The data table: its columns in order and the attachment groups.
struct TableDesign
{
    QList<DesignedColumn> columns;
    bool pictures = true;
    bool documents = true;
};

// The create statement of fid_main.
QString MainTableSqlFor(const TableDesign& design);

// The statements that create fid_title and fill it with the column titles
// and the "pic" and "dbfile" marker rows.
QString TitleTableSqlFor(const TableDesign& design);

// The password of root on a database just set up.
extern const QString DefaultRootPassword;

// The first-run batch, twelve lines: the four tables, the operator root and
// the two options, around the designer's two texts.
QStringList FirstRunBatch(const QString& mainTableSql, const QString& titleTableSql);
