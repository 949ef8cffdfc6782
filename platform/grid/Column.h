#pragma once

#include <QColor>
#include <QString>
#include <Qt>

namespace grid {

// The colour of a title that is not marked. The grid's header paints such a
// title by its palette, with no colour of its own in the header data: a
// colour there gives every section the header paints a palette of its own,
// which makes the style draw the section afresh each time (about 0.2 ms a
// row move with ten titles).
inline constexpr Qt::GlobalColor PlainTitleColor = Qt::black;

// One column of a grid: the result field it shows and how its title looks.
struct Column
{
    QString fieldName;
    QString title;
    int width = 0; // 0 keeps the view's default width
    Qt::Alignment titleAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    QColor titleColor = PlainTitleColor;
};

} // namespace grid
