#pragma once

// The SMTP server the service delivers to, its port and the local domain name, with a
// test that the server greets and answers HELO.

#include "ConsoleDialog.h"

#include <array>

class QLineEdit;
class QPushButton;
class SmtpProbe;

class frmSMTPSettings : public ConsoleDialog {
    Q_OBJECT

public:
    explicit frmSMTPSettings(frmManagement& main);

private:
    void okClicked() override;
    void cmdVerifySMTP();
    void testEnded(bool passed, const QString& reason);
    // The port box as a number, or 0 after saying that it is not one.
    [[nodiscard]] quint16 port();

    // 0 server, 1 user name, 2 password, 3 port, 4 local domain.
    std::array<QLineEdit*, 5> Server_{};
    QPushButton* verifyButton_ = nullptr;
    SmtpProbe* probe_;
};
