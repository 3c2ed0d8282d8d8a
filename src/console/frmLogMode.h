#pragma once

// How much the service writes to the event log. The slider takes effect at once; the main
// window stays usable meanwhile.

#include "ConsoleDialog.h"

class frmLogMode : public ConsoleDialog {
    Q_OBJECT

public:
    explicit frmLogMode(frmManagement& main);

private:
    void okClicked() override;
};
