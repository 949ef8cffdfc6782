#pragma once

#include <QStringView>
#include <QtGlobal>

// The answer of a progress that stops its step at one point: "before" the
// first piece, "during" the step, at its "end", or "never".
inline bool GoesOnUnlessStoppedAt(QStringView stopAt, qint64 done, qint64 total)
{
    return !(stopAt == u"before" && done == 0) &&
           !(stopAt == u"during" && done > 0 && done < total) &&
           !(stopAt == u"end" && done == total);
}
