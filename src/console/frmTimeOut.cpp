#include "frmTimeOut.h"

#include "ConsoleDocument.h"
#include "MessageBoxes.h"
#include "Spinner.h"

#include <QGridLayout>
#include <QLabel>

frmTimeOut::frmTimeOut(frmManagement& main) : ConsoleDialog(main, MainWindow::Disable) {
    setWindowTitle(tr("Timeout Values"));
    auto* grid = new QGridLayout(this);
    const QString captions[] = {tr("POP Timeout (in sec):"), tr("SMTP Timeout (in sec):")};
    const ConfigSettings& settings = document_.configuration().Settings;
    const QString stored[] = {settings.PopTimeout, settings.SmtpTimeout};
    for (int i = 0; i < 2; ++i) {
        grid->addWidget(label(captions[i], QStringLiteral("lblTimeout%1").arg(i)), i, 0);
        txtTimeout_[i] = new Spinner(QStringLiteral("txtTimeout%1").arg(i),
                                     QStringLiteral("VScroll%1").arg(i), 10, 1440, this);
        txtTimeout_[i]->showStored(stored[i]);
        grid->addWidget(txtTimeout_[i], i, 1);
    }
    grid->addWidget(label(tr("Do not change these timeout values unless you are having "
                             "connectivity issues.  "),
                          QStringLiteral("lblWarning")),
                    2, 0, 1, 2);
    grid->addWidget(
        buttons(tr("OK"), QStringLiteral("OKButton"), tr("Cancel"), QStringLiteral("CancelButton")),
        3, 0, 1, 2);
}

void frmTimeOut::okClicked() {
    const QString fields[] = {tr("POP Timeout"), tr("SMTP Timeout")};
    for (size_t i = 0; i < txtTimeout_.size(); ++i) {
        const Spinner* box = txtTimeout_[i];
        int seconds = 0;
        if (!WholeNumber(box->text(), 32767, seconds)) {
            boxes_.show({tr("The timeout values must be whole numbers of seconds, at most 32767."),
                         QString(), MsgBox::Icon::Exclamation});
            return;
        }
        if (seconds < box->minimum()) {
            boxes_.show({tr("The timeout values must be higher than %1").arg(box->minimum()),
                         QString(), MsgBox::Icon::None});
            return;
        }
        if (!storable(fields[i], box->text()))
            return;
    }
    document_.change([this](Configuration& config) {
        config.Settings.PopTimeout = txtTimeout_[0]->text();
        config.Settings.SmtpTimeout = txtTimeout_[1]->text();
    });
    accept();
}
