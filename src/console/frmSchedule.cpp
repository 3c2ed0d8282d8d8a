#include "frmSchedule.h"

#include "ConsoleDocument.h"
#include "MessageBoxes.h"
#include "Spinner.h"
#include "StringTable.h"

#include <QCheckBox>
#include <QGridLayout>

namespace {

constexpr int CheckAll = NoMailDayCount - 1;

} // namespace

frmSchedule::frmSchedule(frmManagement& main)
    : ConsoleDialog(main, MainWindow::Disable),
      time_(new Spinner(QStringLiteral("TimeTxt"), QStringLiteral("VScroll"), 1, 1440, this)) {
    setWindowTitle(LoadResString(124));
    auto* grid = new QGridLayout(this);
    grid->addWidget(label(LoadResString(125), "lblMinDesc"), 0, 0, 1, 2);
    grid->addWidget(time_, 1, 0);
    grid->addWidget(label(LoadResString(126), "lblMin"), 1, 1);
    grid->addWidget(label(LoadResString(127), "lblDaysDesc"), 2, 0, 1, 2);
    for (int day = 0; day < NoMailDayCount; ++day) {
        chkWeek_[day] = new QCheckBox(LoadResString(128 + day), this);
        chkWeek_[day]->setObjectName(QStringLiteral("chkWeek%1").arg(day));
        grid->addWidget(chkWeek_[day], 3 + day / 2, day % 2);
        connect(chkWeek_[day], &QCheckBox::toggled, this,
                [this, day](bool ticked) { dayClicked(day, ticked); });
    }
    grid->addWidget(buttons(LoadResString(111), "OKBut", LoadResString(112), "CancelBut"), 7, 0, 1,
                    2);

    const ConfigSettings& settings = document_.configuration().Settings;
    // Ticked in order, as clicks: a stored "Check All" ticks every day.
    for (int day = 0; day < NoMailDayCount; ++day)
        if (settings.NoMailDays[static_cast<size_t>(day)])
            chkWeek_[day]->setChecked(true);
    time_->showStored(QString::number(settings.CheckInterval));
}

void frmSchedule::dayClicked(int day, bool ticked) {
    if (day == CheckAll && ticked) {
        // Each day ticked unticks "Check All"; it comes last and ends ticked again.
        for (QCheckBox* box : chkWeek_)
            box->setChecked(true);
        return;
    }
    chkWeek_[CheckAll]->setChecked(false);
}

void frmSchedule::okClicked() {
    int interval = 0;
    // The stored interval is a 16-bit count of minutes.
    if (!WholeNumber(time_->text(), 32767, interval)) {
        boxes_.show({tr("The interval must be a whole number of minutes, at most 32767."),
                     tr("Schedule"), MsgBox::Icon::Exclamation});
        return;
    }
    if (interval < time_->minimum()) {
        boxes_.show({tr("You cannot specify a value less than 1 minute."), tr("Schedule"),
                     MsgBox::Icon::Exclamation});
        time_->setText(QString::number(time_->minimum()));
        return;
    }
    document_.change([this, interval](Configuration& config) {
        config.Settings.CheckInterval = static_cast<qint16>(interval);
        for (int day = 0; day < NoMailDayCount; ++day)
            config.Settings.NoMailDays[static_cast<size_t>(day)] = chkWeek_[day]->isChecked();
    });
    accept();
}
