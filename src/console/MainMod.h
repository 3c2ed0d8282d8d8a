#pragma once

// Start-up of the console program.

#include <QString>

class MessageBoxes;
class ServiceDirectory;

namespace MainMod {

// The program folder followed by "/Help/"; the help viewer reads its pages there.
extern QString HelpFolder;

// Where HOLLISVC.ini lives: the folder named by HOLLIMERE_DATA_DIR, else the program's own.
[[nodiscard]] QString DataFolder();

// Runs the console until its main window closes and gives the exit status. A second
// instance ends at once with 0; a data file that cannot be loaded is shown, then 1.
int Main(ServiceDirectory& directory, MessageBoxes& boxes);

} // namespace MainMod
