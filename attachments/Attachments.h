#pragma once

#include "platform/db/Progress.h"
#include "platform/pictures/Picture.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>

class CurrentRecord;

namespace db {
class Query;
}

namespace TempFolder {
class Copy;
}

// What the attachment commands share: the row key, the names stored with an
// attachment, the temp folder and the operator's messages.
namespace Attachments {

// A command that cannot go on; the message is the operator's.
class Refusal final : public std::runtime_error
{
public:
    explicit Refusal(const QString& message);
};

constexpr QSize ThumbnailSize{124, 73};
constexpr int StoredNameLimit = 240; // docname and picname, in GBK bytes

// The id of the grid's current row as its edit text; empty when there is no
// row or the row has no id yet (one being added).
QString RowKey(const CurrentRecord& record);
QString RequireRowKey(const CurrentRecord& record); // Refusal when there is no key

// Refusal when a write by the row key changed no row: the record is gone.
// Thrown inside the command's transaction, it undoes the command's writes.
void RequireRecordWritten(int changedRows);

// The file name part of a stored path: what follows the last backslash,
// slash or drive colon.
QString BareName(const QString& storedName);
// From the last dot after the last separator, lower case, blanks trimmed.
QString DocumentExtension(const QString& name);
// The chosen path as it is stored: every backslash doubled.
QString StoredName(const QString& path);
// Refusal when the stored name does not fit its column.
void RequireStorableName(const QString& storedName);
// Refusal when the file is larger than one record of the database at the
// connection string can hold; checked before the file is read.
void RequireStorableSize(const QString& path, const QString& connectionString);
// The picture type the file's extension names; Refusal for any other.
pictures::Format RequirePictureFormat(const QString& path);
// The whole file; Refusal when it cannot be read.
QByteArray ReadWholeFile(const QString& path);

// A name from the database made safe for a file in the temp folder: no
// folder part, no leading dots (a hidden file would outlive the clean-up),
// characters that draw nothing shown as in VisibleName, short enough for the
// file system.
QString TempFileName(const QString& bareName);
// Runs the select of one stored attachment and writes it to the path a
// piece at a time, telling the progress; Refusal when the row is gone.
void SaveStored(db::Query& query, const QString& statement, const QString& path,
                db::Progress progress);
// The same into a copy in the temp folder.
void CopyStored(db::Query& query, const QString& statement, TempFolder::Copy& copy,
                db::Progress progress);

// The picture dialogs' type list: all loadable types together, then each.
QString PictureFilter();
// The picture dialog's previewer: the picture of a file of a loadable type,
// decoded apart from the program as an import decodes it, whole and at most
// `size` large on white; a null image for any file that does not decode,
// without a message.
std::unique_ptr<QObject> PicturePreview(const QString& path, QSize size,
                                        std::function<void(const QImage&)> show);

} // namespace Attachments
