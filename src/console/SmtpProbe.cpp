#include "SmtpProbe.h"

#include "Ansi.h"
#include "SecondLength.h"

namespace {

constexpr int SilentSeconds = 10;

} // namespace

SmtpProbe::SmtpProbe(QObject* parent)
    : QObject(parent), smtp_(MailConnection::Protocol::SMTP, clock_) {
    silence_.setSingleShot(true);
    connect(&silence_, &QTimer::timeout, this,
            [this] { finish(false, tr("The server sent no answer.")); });
    connect(&smtp_, &MailConnection::replied, this, &SmtpProbe::received);
    connect(&smtp_, &MailConnection::failed, this,
            [this](const QString& description) { finish(false, description); });
    connect(&smtp_.Socket, &SessionSocket::errorOccurred, this,
            [this](const QString& description) { finish(false, description); });
}

void SmtpProbe::start(const QString& host, quint16 port, const QString& heloName) {
    greeted_ = false;
    heloName_ = heloName;
    running_ = smtp_.open(host, port);
    if (!running_)
        return finish(false, tr("The connection could not be started."));
    awaited_ = smtp_.greeting();
    silence_.start(SilentSeconds * SecondLengthMs());
}

void SmtpProbe::cancel() {
    running_ = false;
    silence_.stop();
    smtp_.close();
}

void SmtpProbe::received() {
    const std::optional<MailConnection::Reply> reply = smtp_.take(awaited_);
    if (!reply)
        return;
    const QByteArray text = reply->text();
    if (!text.startsWith(greeted_ ? "250" : "220")) {
        const QByteArray last = text.trimmed().split('\n').last().trimmed();
        return finish(false, tr("The server answered: %1").arg(Ansi::FromAnsi(last)));
    }
    if (greeted_)
        return finish(true, {});
    greeted_ = true;
    const std::optional<QByteArray> helo = Ansi::ToAnsi(QStringLiteral("HELO ") + heloName_);
    const std::optional<MailConnection::Ticket> sent =
        helo ? smtp_.send(*helo) : std::optional<MailConnection::Ticket>();
    if (!sent)
        return finish(false, tr("The server's name cannot be sent."));
    awaited_ = *sent;
    silence_.start();
}

void SmtpProbe::finish(bool passed, const QString& reason) {
    if (!running_)
        return; // already over
    cancel();
    emit finished(passed, reason);
}
