#include "SmtpSink.h"

#include <QTcpSocket>

namespace {

// The address inside "<...>" after the colon of MAIL FROM: / RCPT TO:.
QByteArray address(const QByteArray& arg) {
    QByteArray a = arg.mid(arg.indexOf(':') + 1).trimmed();
    if (a.startsWith('<') && a.endsWith('>'))
        a = a.mid(1, a.size() - 2);
    return a;
}

} // namespace

class SmtpSink::Session final : public LineSession {
public:
    Session(SmtpSink& sink, QTcpSocket& socket) : sink_(sink) {
        socket.write("220 Hollimere demo SMTP ready\r\n");
    }

    void line(QTcpSocket& s, const QByteArray& line) override {
        if (inData_) {
            if (line == ".") {
                inData_ = false;
                sink_.deliveries_.append(current_);
                emit sink_.delivered(current_);
                current_ = {};
                s.write("250 kept\r\n");
            } else {
                current_.data += (line.startsWith('.') ? line.mid(1) : line) + "\r\n";
            }
            return;
        }
        const QByteArray verb = line.left(4).toUpper();
        if (verb == "HELO" || verb == "EHLO" || verb == "NOOP") {
            s.write("250 ok\r\n");
        } else if (verb == "RSET") {
            current_ = {};
            s.write("250 ok\r\n");
        } else if (verb == "MAIL") {
            current_ = {address(line), {}, {}};
            s.write("250 ok\r\n");
        } else if (verb == "RCPT") {
            const QByteArray to = address(line);
            if (const auto refusal = sink_.refusals_.constFind(to);
                refusal != sink_.refusals_.constEnd()) {
                s.write(*refusal + "\r\n");
            } else {
                current_.recipients.append(to);
                s.write("250 ok\r\n");
            }
        } else if (verb == "DATA") {
            if (current_.recipients.isEmpty()) {
                s.write("554 no valid recipients\r\n");
            } else {
                inData_ = true;
                s.write("354 go ahead\r\n");
            }
        } else if (verb == "QUIT") {
            s.write("221 bye\r\n");
            s.disconnectFromHost();
        } else {
            s.write("502 unknown command\r\n");
        }
    }

private:
    SmtpSink& sink_;
    Delivery current_;
    bool inData_ = false;
};

SmtpSink::SmtpSink(quint16 port, QObject* parent)
    : QObject(parent),
      server_([this](QTcpSocket& socket) { return std::make_unique<Session>(*this, socket); },
              port) {}

void SmtpSink::refuse(const QByteArray& address, const QByteArray& reply) {
    refusals_[address] = reply;
}
