#include "DesktopOpen.h"

#include <QDesktopServices>
#include <QUrl>

namespace {
DesktopOpen::Opener& replacement()
{
    static DesktopOpen::Opener opener;
    return opener;
}
} // namespace

namespace DesktopOpen {

bool open(const QString& path)
{
    if (const Opener& opener = replacement())
        return opener(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void setOpenerForTesting(Opener opener)
{
    replacement() = std::move(opener);
}

} // namespace DesktopOpen
