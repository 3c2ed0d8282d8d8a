#pragma once

// The SMTP settings dialog's connection test: connect, read the greeting, say HELO and read
// the answer, without blocking. The replies are read by the mail engine's SMTP connection,
// the same that relays the mail. A refused connection or an unknown host fails at once; a
// server that says nothing fails after 10 of its seconds.

#include "MailConnection.h"
#include "RealTime.h"

#include <QObject>
#include <QTimer>

class SmtpProbe : public QObject {
    Q_OBJECT

public:
    explicit SmtpProbe(QObject* parent = nullptr);

    // Tests `host`:`port`, greeting with `heloName`. A second lasts HOLLIMERE_SECOND_MS.
    void start(const QString& host, quint16 port, const QString& heloName);
    // Ends a test under way without a result.
    void cancel();

signals:
    // `reason` says what went wrong when the test did not pass.
    void finished(bool passed, const QString& reason);

private:
    void received();
    void finish(bool passed, const QString& reason);

    RealTime clock_; // the connection notes arrival times on it; nothing here needs more
    MailConnection smtp_;
    QTimer silence_;
    MailConnection::Ticket awaited_ = 0;
    bool greeted_ = false;
    QString heloName_;
    bool running_ = false;
};
