#pragma once

// Where mail that cannot be delivered goes back to.

#include "ConsoleDialog.h"

class QCheckBox;
class QLineEdit;

class frmUndeliverable : public ConsoleDialog {
    Q_OBJECT

public:
    explicit frmUndeliverable(frmManagement& main);

private:
    void okClicked() override;

    QLineEdit* txtPostMaster_;
    QCheckBox* chkPostmaster_;
};
