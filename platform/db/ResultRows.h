#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QVariant>

namespace db {

// The rows of a result as the client keeps them. Each row's values are
// encoded one after the other in one byte buffer: a tag, then the value in as
// few bytes as it needs (a small integer in one, a text as its UTF-8 bytes
// after their length). A QVariant is made only when a value is read, so a
// page of a million rows costs about what its rows take in the database
// file, not a QVariant and an allocation for every value.
//
// Values read back as the engines gave them: NULL as an invalid QVariant,
// int, qlonglong, double, QString or QByteArray.
class ResultRows final
{
public:
    QStringList fieldNames;

    qsizetype rowCount() const { return m_starts.size(); }

    // Building: beginRow(), then one append for each field, in order.
    void beginRow() { m_starts.append(m_size); }
    void appendNull();
    void appendInt(int value);
    void appendLongLong(qint64 value);
    void appendDouble(double value);
    void appendText(const char* utf8, qsizetype size);
    void appendBlob(const char* bytes, qsizetype size);
    void appendBlob(QByteArray bytes); // a large one is kept as it is, not copied

    // A row whose every value reads NULL, as a new row of a grid starts.
    void appendBlankRow() { m_starts.append(NoValues); }
    void removeRow(qsizetype row) { m_starts.removeAt(row); }

    QVariant value(qsizetype row, int column) const;

    // The bytes the rows take, near enough.
    qsizetype byteSize() const { return m_size + m_starts.size() * qsizetype(sizeof(qsizetype)); }

private:
    static constexpr qsizetype NoValues = -1;
    static constexpr qsizetype LargeBlob = 4 * 1024;

    void appendLarge(QByteArray bytes);
    void appendInteger(char kind, qint64 value);

    char* grow(qsizetype size);
    void appendBytes(char tag, const char* bytes, qsizetype size);

    QByteArray m_bytes; // its first m_size bytes are in use, the rest is room to grow
    qsizetype m_size = 0;
    QList<qsizetype> m_starts; // where each row's values begin in m_bytes
    // Blobs from LargeBlob bytes on, such as documents and thumbnails, each an
    // array of its own that a read shares instead of copying.
    QList<QByteArray> m_large;
};

// For the process: blocks of a megabyte or more are mapped apart from the
// heap (glibc's mmap threshold fixed, instead of rising to the largest block
// freed). A page's buffer, which doubles as its rows come, then grows by
// remapping without being copied or touching the room it leaves, and goes
// back to the system when freed. A program that keeps big pages calls it once
// at its start.
void keepBigBlocksApart();

} // namespace db
