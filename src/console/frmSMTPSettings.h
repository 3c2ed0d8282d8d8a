#pragma once

// The SMTP server the service delivers to, its port and the local domain name, with a
// test that the server greets and answers HELO.

#include "ConsoleDialog.h"

#include <QTimer>
#include <array>

class QLineEdit;
class QPushButton;

class frmSMTPSettings : public ConsoleDialog {
    Q_OBJECT

public:
    explicit frmSMTPSettings(frmManagement& main);

    // Ticks of tmrReal since the dialog opened.
    [[nodiscard]] qint32 tickCount() const { return TickCount_; }

public slots:
    // Ignored while a test runs: the test still holds the dialog.
    void reject() override;

private:
    void okClicked() override;
    void cmdVerifySMTP();
    // Connects, waits for the greeting, says HELO and waits for its answer.
    [[nodiscard]] bool connectionPasses(quint16 port);
    // True once the reply buffer of socket `Index` starts with `ResponseCode`; false after
    // about 10 ticks without any reply or 15 with another one.
    [[nodiscard]] bool WaitFor(const QString& ResponseCode, qint16 Index);
    void showFailure();

    // 0 server, 1 user name, 2 password, 3 port, 4 local domain.
    std::array<QLineEdit*, 5> Server_{};
    QPushButton* verifyButton_ = nullptr;
    QTimer tmrReal_;
    qint32 TickCount_ = 0;
    bool testing_ = false;
};
