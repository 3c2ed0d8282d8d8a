#include "frmLogMode.h"

#include "ConsoleDocument.h"
#include "ReadRules.h"
#include "StringTable.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>

frmLogMode::frmLogMode(frmManagement& main) : ConsoleDialog(main, MainWindow::LeaveEnabled) {
    setWindowTitle(LoadResString(271));
    auto* grid = new QGridLayout(this);
    grid->addWidget(label(tr("Modify how much information is displayed in the event log."),
                          QStringLiteral("lblDescription")),
                    0, 0, 1, 2);
    grid->addWidget(label(LoadResString(272), QStringLiteral("lblLogMode0")), 1, 0);
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setObjectName(QStringLiteral("slideLogMode"));
    slider->setRange(1, 3);
    slider->setPageStep(1);
    slider->setTickPosition(QSlider::TicksBelow);
    grid->addWidget(slider, 1, 1);
    auto* positions = new QHBoxLayout;
    for (int position = 1; position <= 3; ++position) {
        if (position > 1)
            positions->addStretch();
        positions->addWidget(
            label(LoadResString(272 + position), QStringLiteral("lblLogMode%1").arg(position)));
    }
    grid->addLayout(positions, 2, 1);
    grid->addWidget(buttons(LoadResString(111), QStringLiteral("OKButton"), LoadResString(112),
                            QStringLiteral("CancelButton")),
                    3, 0, 1, 2);

    // A stored mode the slider cannot show stays as stored until the slider moves.
    slider->setValue(static_cast<int>(
        qBound(1.0, ReadRules::LeadingNumber(document_.configuration().Settings.LogMode), 3.0)));
    connect(slider, &QSlider::valueChanged, this,
            [this](int position) { chosen_ = QString::number(position); });
}

void frmLogMode::okClicked() {
    if (!chosen_.isEmpty())
        document_.change([this](Configuration& config) { config.Settings.LogMode = chosen_; });
    accept();
}
