#pragma once

#include <QString>

class QIODevice;

namespace Attachments {

// What an import names when its commit failed: the record, the column that
// holds the attachment and the one that holds its name, and what they were
// to hold.
struct ImportedAttachment
{
    QString key;
    QString blobColumn;
    QString nameColumn;
    QString storedName;
};

// Whether the commit of an import that failed kept the import after all: the
// record read back on a connection of its own holds the stored name and
// exactly the bytes of the content (read from its start). A commit whose
// answer was lost with the connection may have been kept by the server; one
// that was refused was not. DbError when the record cannot be read back.
bool RecordHoldsImport(const QString& connectionString, const ImportedAttachment& import,
                       QIODevice& content);

// After a failed commit of an import of a "文件" or a "图片" (the noun): reads
// the record back and says what happened. A kept import is announced with
// `doneMessage`; an import that was not kept, or a record that cannot be read
// back, is a Refusal that says so and carries the commit's error.
void ReportImportAfterFailedCommit(const QString& connectionString,
                                   const ImportedAttachment& import, QIODevice& content,
                                   const QString& noun, const QString& commitError,
                                   const QString& doneMessage);

} // namespace Attachments
