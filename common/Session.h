#pragma once

#include <QString>

// What the program knows of the signed-in session: where the data is, who
// works, what they may do and the options read at start. The main window
// owns the one instance and hands it to the parts that need it.
struct Session final
{
    QString connectionString;
    QString programFolder; // ends with a separator
    QString operatorName;
    bool canWrite = false;
    QString title;
    int pageSize = 0; // records a page; set from the options when the window loads

    bool isRoot() const { return operatorName == QLatin1String("root"); }
    // Attachments opened for viewing are copied here and removed at exit.
    QString tempFolder() const { return programFolder + QStringLiteral("temp"); }
};
