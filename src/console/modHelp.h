#pragma once

// What the Help menu and the about box share: the help files and where they come from,
// the mail links for bug reports and suggestions, the system information tool and the
// update check.

#include <QString>
#include <QStringList>
#include <QUrl>

class MessageBoxes;
class QWidget;

namespace modHelp {

// The files the viewer downloads, in the order it fetches them.
extern const QStringList HelpFiles;

// The maker's help folder on the web; empty when no web server is set.
[[nodiscard]] QUrl HelpWebFolder();

// The build settings HOLLIMERE_BUG_ADDRESS and HOLLIMERE_SUGGESTION_ADDRESS.
[[nodiscard]] QString BugAddress();
[[nodiscard]] QString SuggestionAddress();

// `version` is what the subject carries after the product's name.
[[nodiscard]] QString BugMailLink(const QString& version);
// The menu and the about box word the body of a suggestion differently.
enum class From { Menu, AboutBox };
[[nodiscard]] QString SuggestionMailLink(const QString& version, From from);

// major.minor, a blank, and the revision.
[[nodiscard]] QString MenuVersionText();

// The system information programs looked for on the PATH, the first found is run.
extern const QStringList SysInfoPrograms;
// Runs the first one found; otherwise says none is available.
void StartSysInfo(MessageBoxes& boxes);

// Fetches the maker's version file, a wait window with Cancel over `owner` meanwhile, and
// says whether it names a newer version, or why it cannot tell.
void CheckForNewVersion(QWidget* owner, MessageBoxes& boxes);

} // namespace modHelp
