#pragma once

#include <QString>

// What the program knows of the signed-in session: where the data is, who
// works, what they may do and the options read at start. The main window's
// load owns the one instance and is its only writer; the window hands it to
// the parts that read it.
struct Session final
{
    QString connectionString;
    QString programFolder; // ends with a separator
    QString operatorName;
    bool canWrite = false;
    int pageSize = 0; // records a page; set from the options when the window loads

    bool isRoot() const { return operatorName == QLatin1String("root"); }
    // Attachments opened for viewing are copied here and removed at exit.
    QString tempFolder() const { return programFolder + QStringLiteral("temp"); }
};
