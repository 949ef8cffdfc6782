#pragma once

#include <QString>
#include <QStringList>

// The file a chosen name is saved as: it always ends in ".csv", which is not
// doubled when the name has it already (in lower case).
QString CsvFileName(const QString& chosen);

// A value as one field of a line: a value holding a comma, a double quote, a
// CR or an LF goes between double quotes, with each of its double quotes
// doubled, so that it stays one cell; any other value is written as it is.
QString CsvField(const QString& value);

// The lines as GBK text, each ended by CR LF, into the file, which is
// created or replaced. Returns an empty text on success, else the reason.
QString SaveCsvLines(const QString& path, const QStringList& lines);
