#pragma once

#include <QSaveFile>
#include <QString>

// The file a chosen name is saved as: it always ends in ".csv", which is not
// doubled when the name has it already (in lower case).
QString CsvFileName(const QString& chosen);

// A value as one field of a line: a value holding a comma, a double quote, a
// CR or an LF goes between double quotes, with each of its double quotes
// doubled, so that it stays one cell; any other value is written as it is.
QString CsvField(const QString& value);

// A CSV file written a line at a time as GBK text, each line ended by CR LF.
// Lines are encoded and written in blocks, so that a page of a million rows
// is never held as text all at once. They go to a file beside the target,
// which replaces it when finished: a failure, or a writer dropped before
// finish(), leaves an earlier file of that name whole.
class CsvWriter final
{
public:
    explicit CsvWriter(const QString& path);
    void addLine(const QString& line);
    // Writes what is left and puts the file in the target's place: an empty
    // text on success, else the reason.
    QString finish();

private:
    void writePending();

    QSaveFile m_file;
    QString m_pending;
    QString m_failure; // the first one; nothing is written after it
};
