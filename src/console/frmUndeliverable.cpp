#include "frmUndeliverable.h"

#include "ConsoleDocument.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

frmUndeliverable::frmUndeliverable(frmManagement& main)
    : ConsoleDialog(main, MainWindow::Disable), txtPostMaster_(new QLineEdit(this)),
      chkPostmaster_(new QCheckBox(tr("Return undeliverable mail to this post master address "
                                      "instead of the original sender"),
                                   this)) {
    setWindowTitle(tr("Undeliverable Mail"));
    txtPostMaster_->setObjectName(QStringLiteral("txtPostMaster"));
    chkPostmaster_->setObjectName(QStringLiteral("chkPostmaster"));
    QLabel* note = label(tr("Note: If no postmaster is defined, the administrator box is used by "
                            "default.  Please be aware that some email with invalid headers, "
                            "that could not be delivered, will be returned to this address."),
                         "lblNote");
    note->setWordWrap(true);
    auto* column = new QVBoxLayout(this);
    column->addWidget(label(tr("Post Master:"), "lblPostMaster"));
    column->addWidget(txtPostMaster_);
    column->addWidget(chkPostmaster_);
    column->addWidget(note);
    column->addWidget(buttons(tr("OK"), "OKButton", tr("Cancel"), "CancelButton"));

    const ConfigSettings& settings = document_.configuration().Settings;
    txtPostMaster_->setText(settings.PostmasterMailbox);
    chkPostmaster_->setChecked(settings.SendToPostmaster == QLatin1String("1"));
}

void frmUndeliverable::okClicked() {
    if (!storable(tr("Post Master"), txtPostMaster_->text()))
        return;
    document_.change([this](Configuration& config) {
        config.Settings.PostmasterMailbox = txtPostMaster_->text();
        config.Settings.SendToPostmaster =
            chkPostmaster_->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    });
    accept();
}
