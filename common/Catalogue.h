#pragma once

#include <QList>
#include <QString>

// One data column of the designed table as the record grid shows it.
struct CatalogueColumn
{
    QString fieldName; // f_1, f_2, ...
    QString title;
    int width = 60;
};

// The designed table as the catalogue (fid_title) describes it: the data
// columns in design order and the attachment groups that exist.
struct Catalogue final
{
    QList<CatalogueColumn> columns;
    QString columnList; // the browse statement's columns: "f_1,f_2,picname,docname"
    bool hasPictures = false;
    bool hasDocuments = false;
};
