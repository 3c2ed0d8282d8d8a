#pragma once

// Where the programs find their files. Each folder may be named by an environment
// variable; without it the running program's own folder serves, as the programs sit
// side by side with their data file. A QCoreApplication must exist.

#include <QString>

namespace Folders {

// HOLLISVC.ini: HOLLIMERE_DATA_DIR, else the build setting HOLLIMERE_DATA_FOLDER (a
// package build's /etc/hollimere), else the program's folder.
[[nodiscard]] QString Data();

// hollisvc for the console: HOLLIMERE_PROGRAM_DIR, else the program's folder.
[[nodiscard]] QString Program();

// What the service writes for itself (the downloaded version file, the lists of delivered
// messages): HOLLIMERE_STATE_DIR, else Data().
[[nodiscard]] QString State();

} // namespace Folders
