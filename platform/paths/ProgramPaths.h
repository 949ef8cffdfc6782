#pragma once

#include <QString>

namespace ProgramPaths {

// The running program's executable, and its program folder with a trailing
// "/": where the settings file, the embedded databases and the temp folder
// live and where the manual is found.
//
// The program folder is the executable's own folder, unless a file named
// "per-user-folders" (PerUserMarker) sits beside the executable, as an
// installed package puts it: then each user gets a program folder of their
// own in their data folder ($XDG_DATA_HOME/<name>, by default
// ~/.local/share/<name>, <name> being the executable's), made readable by
// its owner only and holding a link "help.doc" to the manual beside the
// executable. Tests point the executable at a folder of their own.
QString executablePath();
QString folder();
void setExecutablePathForTesting(const QString& path); // empty to restore

inline constexpr const char* PerUserMarker = "per-user-folders";

} // namespace ProgramPaths
