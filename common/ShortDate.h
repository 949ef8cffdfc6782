#pragma once

#include <QDate>
#include <QString>

// The program's short date format: four-digit year, month and day joined by
// hyphens, like 2010-11-24.
inline QString ShortDate(const QDate& date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}
