#pragma once

// How much the service writes to the event log. The main window stays usable meanwhile.

#include "ConsoleDialog.h"

class frmLogMode : public ConsoleDialog {
    Q_OBJECT

public:
    explicit frmLogMode(frmManagement& main);

private:
    void okClicked() override;

    // Where the slider was moved to; empty while it stands where it started, so that a
    // stored mode the slider cannot show stays as stored.
    QString chosen_;
};
