#pragma once

#include <QString>

// A value for a quoted SQL literal: every single quote doubled, so that the
// value stays one literal whatever the operator typed. Text without quotes
// comes back unchanged.
inline QString QuoteDoubled(const QString& value)
{
    QString doubled = value;
    return doubled.replace(QLatin1Char('\''), QLatin1String("''"));
}
