#pragma once

// Handing a document, web address or mail link to the program the desktop associates
// with it. Behind an interface so that tests see the links instead of a mail program.

#include <QString>

class Shell {
public:
    virtual ~Shell() = default;
    virtual void ShellOpen(const QString& target) = 0;
};

// The real thing, through QDesktopServices.
class DesktopShell : public Shell {
public:
    void ShellOpen(const QString& target) override;
};
