#pragma once

#include <QString>

namespace ProgramPaths {

// The running program's executable, and the folder that holds it with a
// trailing "/". Tests point them at a folder of their own, so that the
// settings file, the embedded database and the temp folder live there.
QString executablePath();
QString folder();
void setExecutablePathForTesting(const QString& path); // empty to restore

} // namespace ProgramPaths
