#pragma once

#include <QString>

// The paging, filter and order state of the record grid.
struct BrowseState
{
    QString Head;
    QString Condition;
    QString SkipClause;
    QString Order;
    QString Statement;
    int RecordCount = 0;
    int PageCount = 0;
    int PageIndex = 0;
    QString SearchColumn;
};

// The one record of process-wide state that the windows share. GUI thread
// only; nothing resets it while the process lives.
struct AppStateRecord
{
    QString ConnectionString;
    QString ColumnList;
    QString ProgramFolder;
    QString CurrentDocumentName;
    QString CurrentPictureName;
    bool HasDocumentColumns = false;
    bool HasPictureColumns = false;
    QString OperatorName;
    bool CanWrite = false;
    int PageSize = 0;
    BrowseState Browse;
    bool SignInSucceeded = false;
    QString SignInConnectionString;
    int SignInAttempts = 0;
    bool ConnectionConfigured = false;
};

extern AppStateRecord AppState;
