#pragma once

#include <QImage>
#include <QSize>
#include <QtGui/qrgb.h>
#include <cstdint>
#include <vector>

namespace pictures {

// Reduces a picture to a smaller size while its rows arrive one by one, top
// to bottom, each target pixel the average of the source area it covers
// (parts of pixels weighed by how much of them it covers). Rows are summed
// down into the target row they fall on, which is reduced across once it is
// complete, so a decoder that hands out rows needs no image of the full
// size. The target must be no larger than the source either way.
class RowAverage final
{
public:
    RowAverage(QSize source, QSize target);

    // The next row of the source, source.width() pixels.
    void add(const QRgb* row);
    // The target, once every row has been added.
    QImage result();

private:
    // Where a source pixel (or row) falls: the first target pixel it
    // covers, and its weight there; the rest of its weight goes to the next.
    struct Share
    {
        int first;
        std::uint32_t weight;
    };
    static std::vector<Share> shares(int source, int target);
    // The sums of target row m_current reduced across into the image.
    void finishRow();

    QSize m_source;
    QSize m_target;
    std::vector<Share> m_columns;
    std::vector<Share> m_rows;
    int m_row = 0;     // the next source row
    int m_current = 0; // the target row being summed
    // The weighted sums of the source rows on the current target row and on
    // the next, four channels a source pixel as the bytes lie.
    std::vector<std::uint32_t> m_sums;
    std::vector<std::uint32_t> m_nextSums;
    QImage m_image;
};

} // namespace pictures
