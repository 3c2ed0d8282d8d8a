#include "frmSMTPSettings.h"

#include "Ansi.h"
#include "MessageBoxes.h"
#include "ReadRules.h"
#include "SecondLength.h"
#include "StringTable.h"
#include "frmManagement.h"
#include "frmWaitAni.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

#include <cstdlib>

namespace {

void letEventsRun() {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace

frmSMTPSettings::frmSMTPSettings(frmManagement& main) : ConsoleDialog(main, MainWindow::Disable) {
    setWindowTitle(LoadResString(166));
    auto* grid = new QGridLayout(this);
    // The rows show server, port, domain, user name and password; the boxes keep the
    // numbering of the fields they edit.
    static constexpr std::array<int, 5> boxOfRow = {0, 3, 4, 1, 2};
    for (int row = 0; row < 5; ++row) {
        const int box = boxOfRow[static_cast<size_t>(row)];
        grid->addWidget(label(LoadResString(167 + row), QStringLiteral("lblServer%1").arg(row)),
                        row, 0);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("Server%1").arg(box));
        grid->addWidget(edit, row, 1);
        Server_[static_cast<size_t>(box)] = edit;
    }
    Server_[3]->setText(QStringLiteral("25"));
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

    const ConfigSettings& settings = main.configuration().Settings;
    Server_[0]->setText(settings.SmtpServer);
    Server_[1]->setText(settings.SmtpUserName);
    Server_[2]->setText(settings.SmtpPassword);
    Server_[3]->setText(settings.SmtpPort);
    Server_[4]->setText(settings.LocalDomain);
    if (Server_[4]->text().isEmpty())
        Server_[4]->setText(ReadRules::TrimSpaces(qEnvironmentVariable("USERDNSDOMAIN")));

    tmrReal_.setInterval(SecondLengthMs());
    connect(&tmrReal_, &QTimer::timeout, this, [this] { ++TickCount_; });
}

void frmSMTPSettings::okClicked() {
    const QString server = ReadRules::TrimSpaces(Server_[0]->text());
    const QString port = ReadRules::TrimSpaces(Server_[3]->text());
    const QString domain = ReadRules::TrimSpaces(Server_[4]->text());
    if (!storable(tr("Server name"), server) || !storable(tr("SMTP Port"), port) ||
        !storable(tr("Local Domain"), domain))
        return;
    ConfigSettings& settings = main_.configuration().Settings;
    settings.SmtpServer = server;
    settings.SmtpUserName = Server_[1]->text();
    settings.SmtpPassword = Server_[2]->text();
    settings.SmtpPort = port;
    settings.LocalDomain = domain;
    main_.setDataChanged();
    accept();
}

void frmSMTPSettings::reject() {
    if (!testing_)
        ConsoleDialog::reject();
}

void frmSMTPSettings::cmdVerifySMTP() {
    int port = 0;
    // Any other text would connect to a port the user never meant.
    if (!WholeNumber(Server_[3]->text(), 65535, port) || port < 1) {
        showFailure();
        return;
    }
    testing_ = true;
    tmrReal_.start();
    setEnabled(false);
    const QString caption = verifyButton_->text();
    bool passed = false;
    {
        const frmWaitAni wait;
        verifyButton_->setText(tr("Please Wait"));
        verifyButton_->setEnabled(false);
        passed = connectionPasses(static_cast<quint16>(port));
    }
    tmrReal_.stop();
    setEnabled(true);
    testing_ = false;
    if (passed)
        boxes_.show(
            {ReadRules::TrimSpaces(Server_[0]->text()).toUpper() + u' ' + LoadResString(297),
             LoadResString(296), MsgBox::Icon::Information});
    else
        showFailure();
    verifyButton_->setText(caption);
    verifyButton_->setEnabled(true);
}

bool frmSMTPSettings::connectionPasses(quint16 port) {
    QTcpSocket& socket = main_.Winsock1();
    // A socket still open from before would skip the test and report success unseen.
    socket.abort();
    main_.ReplyBuffer(0).clear();
    const QString server = Server_[0]->text();
    socket.connectToHost(server, port);
    const bool passed = [&] {
        if (!WaitFor(QStringLiteral("220"), 0))
            return false;
        const QString helo = QStringLiteral("HELO ") + server + QStringLiteral("\r\n");
        socket.write(Ansi::ToAnsi(helo).value_or(helo.toUtf8()));
        return WaitFor(QStringLiteral("250"), 0);
    }();
    socket.abort();
    return passed;
}

bool frmSMTPSettings::WaitFor(const QString& ResponseCode, qint16 Index) {
    QString& buffer = main_.ReplyBuffer(Index);
    const qint32 start = TickCount_;
    while (buffer.isEmpty()) {
        const qint32 elapsed = TickCount_ - start;
        letEventsRun();
        if (std::abs(elapsed) > 10)
            return false;
    }
    QCoreApplication::processEvents();
    for (;;) {
        if (buffer.startsWith(ResponseCode)) {
            buffer.clear();
            return true;
        }
        letEventsRun();
        if (std::abs(TickCount_ - start) > 15 && !buffer.startsWith(ResponseCode)) {
            buffer.clear();
            return false;
        }
    }
}

void frmSMTPSettings::showFailure() {
    boxes_.show({LoadResString(298), LoadResString(296), MsgBox::Icon::Critical});
}
