#include "RowAverage.h"

#include <algorithm>
#include <cstring>

namespace pictures {

// Source pixel i spans [i * target, (i + 1) * target) and target pixel x
// spans [x * source, (x + 1) * source): in these units every overlap is a
// whole number and every target pixel weighs source in all.
std::vector<RowAverage::Share> RowAverage::shares(int source, int target)
{
    std::vector<Share> result(static_cast<std::size_t>(source));
    for (int i = 0; i < source; ++i) {
        const qint64 start = qint64(i) * target;
        const int first = static_cast<int>(start / source);
        const qint64 boundary = qint64(first + 1) * source;
        const qint64 inFirst = std::min<qint64>(boundary, start + target) - start;
        result[static_cast<std::size_t>(i)] = {first, static_cast<std::uint32_t>(inFirst)};
    }
    return result;
}

RowAverage::RowAverage(QSize source, QSize target)
    : m_source(source), m_target(target), m_columns(shares(source.width(), target.width())),
      m_rows(shares(source.height(), target.height())),
      m_sums(static_cast<std::size_t>(source.width()) * 4),
      m_nextSums(static_cast<std::size_t>(source.width()) * 4),
      m_image(target, QImage::Format_RGB32)
{
}

void RowAverage::add(const QRgb* row)
{
    if (m_row >= m_source.height())
        return;
    const Share share = m_rows[static_cast<std::size_t>(m_row++)];
    if (share.first != m_current) {
        finishRow();
        m_sums.swap(m_nextSums);
        std::fill(m_nextSums.begin(), m_nextSums.end(), 0);
        m_current = share.first;
    }
    // Byte by byte, which the compiler turns into vector instructions.
    const auto* bytes = reinterpret_cast<const unsigned char*>(row);
    const std::size_t size = m_sums.size();
    std::uint32_t* sums = m_sums.data();
    for (std::size_t k = 0; k < size; ++k)
        sums[k] += share.weight * bytes[k];
    const std::uint32_t rest = static_cast<std::uint32_t>(m_target.height()) - share.weight;
    if (rest != 0) {
        std::uint32_t* next = m_nextSums.data();
        for (std::size_t k = 0; k < size; ++k)
            next[k] += rest * bytes[k];
    }
}

void RowAverage::finishRow()
{
    if (m_current >= m_target.height())
        return;
    // Four channels of the target row, and one more pixel for the rest of
    // the last source pixel, whose weight there is nil.
    std::vector<std::uint64_t> line(static_cast<std::size_t>(m_target.width() + 1) * 4);
    const std::uint32_t whole = static_cast<std::uint32_t>(m_target.width());
    for (int i = 0; i < m_source.width(); ++i) {
        const Share share = m_columns[static_cast<std::size_t>(i)];
        const std::uint32_t* sum = &m_sums[static_cast<std::size_t>(i) * 4];
        std::uint64_t* first = &line[static_cast<std::size_t>(share.first) * 4];
        for (int c = 0; c < 4; ++c) {
            first[c] += std::uint64_t(share.weight) * sum[c];
            first[4 + c] += std::uint64_t(whole - share.weight) * sum[c];
        }
    }
    const std::uint64_t area = std::uint64_t(m_source.width()) * std::uint64_t(m_source.height());
    auto* out = reinterpret_cast<QRgb*>(m_image.scanLine(m_current));
    for (int x = 0; x < m_target.width(); ++x) {
        QRgb pixel = 0;
        auto* channels = reinterpret_cast<unsigned char*>(&pixel);
        for (int c = 0; c < 4; ++c)
            channels[c] = static_cast<unsigned char>(
                (line[static_cast<std::size_t>(x) * 4 + c] + area / 2) / area);
        out[x] = pixel | 0xff000000u;
    }
}

QImage RowAverage::result()
{
    finishRow();
    m_current = m_target.height();
    return m_image;
}

} // namespace pictures
