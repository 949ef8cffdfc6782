#pragma once

#include <QString>
#include <functional>

// Opening a file with the application the desktop associates with its type.
namespace DesktopOpen {

// Hands the file to the desktop; true when the desktop accepted it.
bool open(const QString& path);

// Tests put an opener in place of the desktop, so that no real viewer is
// started. An empty function restores the desktop.
using Opener = std::function<bool(const QString& path)>;
void setOpenerForTesting(Opener opener);

} // namespace DesktopOpen
