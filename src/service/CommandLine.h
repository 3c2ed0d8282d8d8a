#pragma once

// The switches of hollisvc: a "-" followed by a word, in any case, anywhere in the line.
// "--help" and "--version" are read the same way: their second dash starts the word.

#include <QStringList>

struct Switches {
    bool install = false;
    bool uninstall = false;
    bool debug = false;
    bool setup = false;
    bool query = false; // implies debug
    bool help = false;
    bool version = false;
};

// The arguments joined by blanks; every "-" starts a word that runs to the next blank,
// other text is ignored.
[[nodiscard]] Switches ParseSwitches(const QStringList& arguments);

// What the program does with its switches, in the order the start-up decides.
enum class StartupAction {
    ShowHelp, // usage on stdout, nothing else done
    ShowVersion,
    Conflict, // install and uninstall together: nothing is changed
    Uninstall,
    Install,
    Setup,        // the old setup mode is gone: say so and end
    RunQuery,     // one sequential cycle, then end
    RunDebug,     // the service in this process, without the service manager
    RunService,   // started by the service manager
    ExplainUsage, // no switch and no service manager: say how to run it
};

[[nodiscard]] StartupAction Decide(const Switches& switches, bool underServiceManager);
