#pragma once

// The about box: product, version and build numbers, the system information tool and
// mail links for bug reports and suggestions. The main window waits until it closes.

#include "ConsoleDialog.h"

class frmAbout : public ConsoleDialog {
    Q_OBJECT

public:
    explicit frmAbout(frmManagement& main);

protected:
    void okClicked() override { accept(); }

private:
    // The mail subjects carry the captions as shown.
    [[nodiscard]] QString subjectVersion() const;

    QLabel* lblVersion_ = nullptr;
    QLabel* lblBuild0_ = nullptr;
};
