#pragma once

#include <QColor>
#include <QString>
#include <Qt>

namespace grid {

// One column of a grid: the result field it shows and how its title looks.
struct Column
{
    QString fieldName;
    QString title;
    int width = 0; // 0 keeps the view's default width
    Qt::Alignment titleAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    QColor titleColor = Qt::black;
};

} // namespace grid
