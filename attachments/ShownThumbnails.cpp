#include "ShownThumbnails.h"

std::optional<QPixmap> ShownThumbnails::find(const QString& key, const QByteArray& bytes) const
{
    const Entry* entry = m_entries.object(key);
    if (!entry || entry->bytes != bytes)
        return std::nullopt;
    return entry->picture;
}

void ShownThumbnails::insert(const QString& key, const QByteArray& bytes, const QPixmap& picture)
{
    const qsizetype held =
        bytes.size() + qsizetype(picture.width()) * picture.height() * picture.depth() / 8;
    m_entries.insert(key, new Entry{bytes, picture}, held);
}
