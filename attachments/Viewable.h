#pragma once

#include <QByteArray>
#include <QString>

// Which copies of stored attachments the desktop is given to open. The
// names and bytes come from the database, where any client may have written
// them: a copy is opened only when it is a document or a picture, never a
// file whose type runs code.
namespace Viewable {

// Refusal, naming the file and offering the export instead, unless the
// copy's name ends in a document or picture type the desktop only shows;
// checked before anything is written.
void RequireDocumentType(const QString& copyName, const QString& storedName);
// Refusal when the first bytes are a program's, whatever the name says:
// some desktops choose the handler by the bytes.
void RequireNoProgram(const QByteArray& head, const QString& storedName);
// The name a picture's copy gets: the copy's name with the extension of
// the picture type its bytes have; Refusal when they have none.
QString PictureCopyName(const QString& copyName, const QByteArray& head, const QString& storedName);

} // namespace Viewable
