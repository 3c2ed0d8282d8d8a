#include "frmSMTPSettings.h"

#include "ConsoleDocument.h"
#include "MessageBoxes.h"
#include "ReadRules.h"
#include "SmtpProbe.h"
#include "StringTable.h"
#include "frmWaitAni.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

frmSMTPSettings::frmSMTPSettings(frmManagement& main)
    : ConsoleDialog(main, MainWindow::Disable), probe_(new SmtpProbe(this)) {
    setWindowTitle(LoadResString(166));
    auto* grid = new QGridLayout(this);
    // The rows show server, port, domain, user name and password; the boxes keep the
    // numbering of the fields they edit.
    static constexpr std::array<int, 5> boxOfRow = {0, 3, 4, 1, 2};
    for (int row = 0; row < 5; ++row) {
        const int box = boxOfRow[static_cast<size_t>(row)];
        QLabel* caption = label(LoadResString(167 + row), QStringLiteral("lblServer%1").arg(row));
        grid->addWidget(caption, row, 0);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("Server%1").arg(box));
        caption->setBuddy(edit);
        grid->addWidget(edit, row, 1);
        Server_[static_cast<size_t>(box)] = edit;
    }
    // Shown and written back unchanged: delivery never logs in.
    Server_[1]->setEnabled(false);
    Server_[2]->setEnabled(false);
    Server_[2]->setEchoMode(QLineEdit::Password);

    verifyButton_ = new QPushButton(LoadResString(175), this);
    verifyButton_->setObjectName(QStringLiteral("cmdVerifySMTP"));
    connect(verifyButton_, &QPushButton::clicked, this, &frmSMTPSettings::cmdVerifySMTP);
    grid->addWidget(verifyButton_, 5, 1, Qt::AlignRight);
    grid->addWidget(
        buttons(tr("OK"), QStringLiteral("OKButton"), tr("Cancel"), QStringLiteral("CancelButton")),
        6, 0, 1, 2);
    connect(probe_, &SmtpProbe::finished, this, &frmSMTPSettings::testEnded);

    const ConfigSettings& settings = document_.configuration().Settings;
    Server_[0]->setText(settings.SmtpServer);
    Server_[1]->setText(settings.SmtpUserName);
    Server_[2]->setText(settings.SmtpPassword);
    Server_[3]->setText(settings.SmtpPort);
    Server_[4]->setText(settings.LocalDomain);
    if (Server_[3]->text().isEmpty())
        Server_[3]->setText(QStringLiteral("25"));
    if (Server_[4]->text().isEmpty())
        Server_[4]->setText(ReadRules::TrimSpaces(qEnvironmentVariable("USERDNSDOMAIN")));
    Server_[0]->setFocus();
}

quint16 frmSMTPSettings::port() {
    int number = 0;
    if (WholeNumber(Server_[3]->text(), 65535, number) && number >= 1)
        return static_cast<quint16>(number);
    boxes_.show({tr("The SMTP port must be a number from 1 to 65535."), LoadResString(166),
                 MsgBox::Icon::Exclamation});
    Server_[3]->setFocus();
    return 0;
}

void frmSMTPSettings::okClicked() {
    const QString server = ReadRules::TrimSpaces(Server_[0]->text());
    const QString domain = ReadRules::TrimSpaces(Server_[4]->text());
    const quint16 number = port();
    if (number == 0 || !storable(tr("Server name"), server) ||
        !storable(tr("Local Domain"), domain))
        return;
    const QString portText = QString::number(number);
    document_.change([&](Configuration& config) {
        config.Settings.SmtpServer = server;
        config.Settings.SmtpUserName = Server_[1]->text();
        config.Settings.SmtpPassword = Server_[2]->text();
        config.Settings.SmtpPort = portText;
        config.Settings.LocalDomain = domain;
    });
    accept();
}

void frmSMTPSettings::cmdVerifySMTP() {
    const quint16 number = port();
    if (number == 0)
        return;
    setEnabled(false);
    auto* wait = new frmWaitAni(this);
    connect(wait, &QDialog::rejected, probe_, [this] {
        probe_->cancel();
        setEnabled(true);
    });
    connect(probe_, &SmtpProbe::finished, wait, &QDialog::accept);
    probe_->start(ReadRules::TrimSpaces(Server_[0]->text()), number, Server_[0]->text());
}

void frmSMTPSettings::testEnded(bool passed, const QString& reason) {
    setEnabled(true);
    if (passed)
        boxes_.show(
            {ReadRules::TrimSpaces(Server_[0]->text()).toUpper() + u' ' + LoadResString(297),
             LoadResString(296), MsgBox::Icon::Information});
    else
        boxes_.show({LoadResString(298) + QStringLiteral("\n\n") + reason, LoadResString(296),
                     MsgBox::Icon::Critical});
}
