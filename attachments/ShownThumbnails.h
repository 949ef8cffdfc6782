#pragma once

#include <QByteArray>
#include <QCache>
#include <QPixmap>
#include <QString>
#include <optional>

// The pictures of recently shown thumbnails, so that moving back to a record
// does not decode its thumbnail again. An entry serves only the very bytes it
// was made from: a thumbnail replaced in the database, by this window or
// another client, is decoded afresh.
class ShownThumbnails final
{
public:
    // The picture made from `bytes` for the record `key`, if it is kept.
    std::optional<QPixmap> find(const QString& key, const QByteArray& bytes) const;
    void insert(const QString& key, const QByteArray& bytes, const QPixmap& picture);

private:
    struct Entry
    {
        QByteArray bytes;
        QPixmap picture;
    };
    // Room for the thumbnails of a few pages, counted in bytes held.
    QCache<QString, Entry> m_entries{8 * 1024 * 1024};
};
