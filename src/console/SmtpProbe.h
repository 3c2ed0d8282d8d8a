#pragma once

// The SMTP settings dialog's connection test: connect, read the greeting, say HELO and read
// the answer, without blocking. A refused connection or an unknown host fails at once;
// a server that says nothing fails after 10 of its seconds.

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

// Frames the bytes an SMTP server sends into whole replies (continuation lines "250-"
// included) and gives their codes. The one place where the console reads SMTP.
class SmtpReplyReader {
public:
    struct Reply {
        int code = 0;
        QString text; // the reply's last line, without its line end
    };

    void add(const QByteArray& bytes) { pending_ += bytes; }
    // The next whole reply, once its last line has arrived.
    [[nodiscard]] std::optional<Reply> next();
    void clear() { pending_.clear(); }

private:
    QByteArray pending_;
};

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

    enum class Step { Greeting, Helo };

    QTcpSocket socket_;
    QTimer silence_;
    SmtpReplyReader replies_;
    Step step_ = Step::Greeting;
    QString heloName_;
    bool running_ = false;
};
