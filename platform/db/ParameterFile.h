#pragma once

#include "DbError.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>

namespace db {

// The file of a ":file" parameter, and the layer's words for what fails with
// it, which the operator's messages know.

// Opens the file for reading; DbError when it is a folder or unreadable.
void openParameterFile(QFile& file);
// The rest of the opened content, whole; DbError when reading fails.
QByteArray readParameterFile(QIODevice& content);
// "Cannot read the file <path>: <the file's error>".
DbError unreadableFile(const QIODevice& content);

} // namespace db
