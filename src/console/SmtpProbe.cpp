#include "SmtpProbe.h"

#include "Ansi.h"
#include "SecondLength.h"

namespace {

constexpr int SilentSeconds = 10;

} // namespace

std::optional<SmtpReplyReader::Reply> SmtpReplyReader::next() {
    qsizetype start = 0;
    for (qsizetype end; (end = pending_.indexOf('\n', start)) >= 0; start = end + 1) {
        const QByteArray line = pending_.mid(start, end - start).trimmed();
        // "250-" goes on; "250 " or a bare "250" ends the reply.
        if (line.size() > 3 && line.at(3) == '-')
            continue;
        bool numeric = false;
        const int code = line.left(3).toInt(&numeric);
        pending_.remove(0, end + 1);
        return Reply{numeric ? code : 0, Ansi::FromAnsi(line)};
    }
    return std::nullopt;
}

SmtpProbe::SmtpProbe(QObject* parent) : QObject(parent) {
    silence_.setSingleShot(true);
    connect(&silence_, &QTimer::timeout, this,
            [this] { finish(false, tr("The server sent no answer.")); });
    connect(&socket_, &QTcpSocket::readyRead, this, &SmtpProbe::received);
    connect(&socket_, &QTcpSocket::errorOccurred, this,
            [this] { finish(false, socket_.errorString()); });
}

void SmtpProbe::start(const QString& host, quint16 port, const QString& heloName) {
    socket_.abort();
    replies_.clear();
    step_ = Step::Greeting;
    heloName_ = heloName;
    running_ = true;
    silence_.start(SilentSeconds * SecondLengthMs());
    socket_.connectToHost(host, port);
}

void SmtpProbe::cancel() {
    running_ = false;
    silence_.stop();
    socket_.abort();
}

void SmtpProbe::received() {
    replies_.add(socket_.readAll());
    while (const std::optional<SmtpReplyReader::Reply> reply = replies_.next()) {
        const int expected = step_ == Step::Greeting ? 220 : 250;
        if (reply->code != expected) {
            finish(false, tr("The server answered: %1").arg(reply->text));
            return;
        }
        if (step_ == Step::Helo) {
            finish(true, {});
            return;
        }
        step_ = Step::Helo;
        const QString helo = QStringLiteral("HELO ") + heloName_ + QStringLiteral("\r\n");
        socket_.write(Ansi::ToAnsi(helo).value_or(helo.toUtf8()));
        silence_.start();
    }
}

void SmtpProbe::finish(bool passed, const QString& reason) {
    if (!running_)
        return; // already over
    cancel();
    emit finished(passed, reason);
}
