#pragma once

// The account properties dialog: adds an account, or edits one, in memory.

#include "ConsoleDialog.h"

#include <array>

struct AccountRecord;
class QCheckBox;
class QLabel;
class QLineEdit;

class MailboxPropFrm : public ConsoleDialog {
    Q_OBJECT

public:
    // `index` is the account table entry that OK fills: an existing account when
    // `editMode`, otherwise the one a new row will show.
    MailboxPropFrm(frmManagement& main, int index, bool editMode);

    const bool EditMode;

private:
    void load(const AccountRecord& record);
    void globalClicked();
    void okClicked() override;

    int index_;
    std::array<QLabel*, 8> NameLbl_{};
    std::array<QLineEdit*, 6> AccountInfoTxt_{};
    QCheckBox* GlobalChkBox_;
    QCheckBox* MailHostChkBox_;
};
