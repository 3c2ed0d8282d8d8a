#pragma once

// Start-up of the console program.

#include <QString>
#include <QStringList>

#include <optional>

class MessageBoxes;
class ServiceDirectory;

namespace MainMod {

// The program folder followed by "/Help/"; the help viewer reads its pages there.
extern QString HelpFolder;

// Answers --help and --version on stdout and gives the exit status; nullopt for any
// other command line, which is the window's (and Qt's). Needs no display.
[[nodiscard]] std::optional<int> AnswerCommandLine(const QStringList& arguments);

// Runs the console until its main window closes and gives the exit status. A second
// instance ends at once with 0; a data file that cannot be loaded is shown, then 1.
int Main(ServiceDirectory& directory, MessageBoxes& boxes);

} // namespace MainMod
