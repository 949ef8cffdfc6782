#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The folder where documents and pictures opened for viewing are copied:
// "temp" in the program's folder. Other operators of the machine may share
// the program's folder, so the copies go only into a folder that is the
// operator's own, and every copy is a file made new by this program: a link
// or a file placed in the folder is never written through.
namespace TempFolder {

// A copy of stored bytes under a folder of its own record,
// <folder>/<recordFolder>/<name>, so that records whose names collide get
// distinct copies. Refusal, and nothing written, unless the folder is a
// folder (not a link) of the effective user with mode 0700; a missing one is
// made so.
class Copy final
{
public:
    Copy(const QString& folder, const QString& recordFolder);
    ~Copy(); // a copy never finished leaves nothing behind
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;

    // Appends bytes; Refusal when the disk refuses them. The first bytes
    // written are kept for head().
    void write(const char* bytes, qint64 size);
    const QByteArray& head() const { return m_head; }

    // Gives the bytes written their name, replacing whatever had it (a link
    // there is replaced, never followed), and returns the copy's path.
    QString finish(const QString& name);

private:
    QString m_recordPath;
    int m_record = -1;  // the record's folder, open
    QString m_partName; // the bytes until finish(): a hidden file made new
    int m_part = -1;
    QByteArray m_head;
};

// The record folder of an attachment: "doc12", "pic12".
QString RecordFolder(const QString& field, const QString& key);

// Removes what this program leaves in the folder: the record folders with
// what they hold and the files directly inside (hidden ones excepted), then
// the folder once it is empty. Nothing is touched unless the folder is the
// operator's own as above; nothing is reported.
void Clean(const QString& folder);

} // namespace TempFolder
