#pragma once

// How often the service checks for mail, and the days on which it does not.

#include "ConfigModel.h"
#include "ConsoleDialog.h"

#include <array>

class QCheckBox;
class Spinner;

class frmSchedule : public ConsoleDialog {
    Q_OBJECT

public:
    explicit frmSchedule(frmManagement& main);

private:
    void dayClicked(int day, bool ticked);
    void okClicked() override;

    Spinner* time_;
    std::array<QCheckBox*, NoMailDayCount> chkWeek_{};
};
