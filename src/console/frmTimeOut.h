#pragma once

// How long the service waits for the POP3 and the SMTP server.

#include "ConsoleDialog.h"

#include <array>

class Spinner;

class frmTimeOut : public ConsoleDialog {
    Q_OBJECT

public:
    explicit frmTimeOut(frmManagement& main);

private:
    void okClicked() override;

    std::array<Spinner*, 2> txtTimeout_{};
};
