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
