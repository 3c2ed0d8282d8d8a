#include "MailConnection.h"

#include <algorithm>
#include <new>

namespace {

const QByteArray Terminator = "\r\n.\r\n";

// The last bytes of what a reply has stored, as far as a terminator could begin in them.
QByteArray Tail(const QList<QByteArray>& pieces) {
    QByteArray tail;
    for (qsizetype i = pieces.size() - 1; i >= 0 && tail.size() < Terminator.size() - 1; --i)
        tail.prepend(pieces[i].right(Terminator.size() - 1 - tail.size()));
    return tail;
}

// The length of the SMTP reply at the start of buffer, -1 while it is not whole: lines up
// to the first whose fourth character is not "-".
qsizetype SmtpReplyLength(const QByteArray& buffer) {
    for (qsizetype start = 0;;) {
        const qsizetype eol = buffer.indexOf('\n', start);
        if (eol < 0)
            return -1;
        const bool continued = eol - start >= 4 && buffer.at(start + 3) == '-';
        start = eol + 1;
        if (!continued)
            return start;
    }
}

} // namespace

QByteArray MailConnection::Reply::text() const {
    return pieces.join();
}

MailConnection::MailConnection(Protocol protocol, const RealTime& clock, QObject* parent)
    : QObject(parent), Socket(this), protocol_(protocol), clock_(clock) {
    connect(&Socket, &SessionSocket::dataArrived, this, &MailConnection::onData);
}

bool MailConnection::open(const QString& host, quint16 port, bool tls) {
    close();
    Pipelining = false;
    if (!Socket.open(host, port, tls))
        return false;
    server_ = host + QLatin1Char(':') + QString::number(port);
    greeting_ = owe("the greeting");
    return true;
}

bool MailConnection::startTls() {
    forget();
    return Socket.startTls();
}

std::optional<MailConnection::Ticket> MailConnection::send(const QByteArray& command, Shape shape) {
    if (!Socket.sendLine(command))
        return std::nullopt;
    const qsizetype blank = command.indexOf(' ');
    return owe(blank < 0 ? command : command.left(blank), shape);
}

MailConnection::Ticket MailConnection::owe(const QByteArray& step, Shape shape) {
    const Ticket ticket = next_++;
    owed_.push_back({ticket, shape, step});
    return ticket;
}

QByteArray MailConnection::step(Ticket ticket) const {
    for (const Owed& o : owed_) {
        if (o.ticket == ticket)
            return o.step;
    }
    return {};
}

std::optional<MailConnection::Reply> MailConnection::take(Ticket ticket) {
    floor_ = std::max(floor_, ticket);
    while (!replies_.empty() && replies_.front().first < ticket)
        replies_.pop_front();
    if (replies_.empty() || replies_.front().first != ticket)
        return std::nullopt;
    Reply reply = std::move(replies_.front().second);
    replies_.pop_front();
    return reply;
}

bool MailConnection::owes(Ticket ticket) const {
    return std::any_of(owed_.begin(), owed_.end(),
                       [ticket](const Owed& o) { return o.ticket == ticket; }) ||
           received(ticket);
}

bool MailConnection::received(Ticket ticket) const {
    return std::any_of(replies_.begin(), replies_.end(),
                       [ticket](const auto& r) { return r.first == ticket; });
}

bool MailConnection::begun(Ticket ticket) const {
    return received(ticket) ||
           (!owed_.empty() && owed_.front().ticket == ticket && (inBody_ || !buffer_.isEmpty()));
}

void MailConnection::close() {
    Socket.close();
    forget();
}

void MailConnection::forget() {
    owed_.clear();
    replies_.clear();
    buffer_.clear();
    current_ = {};
    inBody_ = false;
}

void MailConnection::onData(const QByteArray& piece) {
    LastReceiveTime = clock_.now();
    try {
        buffer_ += piece;
        frame();
    } catch (const std::bad_alloc&) {
        fail(QStringLiteral("7 Out of memory"));
    }
}

void MailConnection::frame() {
    while (!owed_.empty()) {
        if (inBody_) {
            if (!takeBody())
                return;
            complete();
            continue;
        }
        const qsizetype length =
            protocol_ == Protocol::SMTP ? SmtpReplyLength(buffer_) : buffer_.indexOf('\n') + 1;
        if (length <= 0)
            break;
        if (protocol_ == Protocol::POP && owed_.front().shape != Shape::Line &&
            buffer_.startsWith("+OK")) {
            inBody_ = true; // the status line goes on as the start of the first piece
            continue;
        }
        current_.pieces = {buffer_.left(length)};
        buffer_.remove(0, length);
        complete();
    }
    if (!inBody_ && buffer_.size() > MaxLineBytes)
        fail(QStringLiteral("9 Subscript out of range: a reply line longer than %1 bytes")
                 .arg(MaxLineBytes));
}

bool MailConnection::takeBody() {
    if (buffer_.isEmpty())
        return false;
    const QByteArray tail = Tail(current_.pieces);
    qsizetype end = (tail + buffer_.left(Terminator.size() - 1)).indexOf(Terminator);
    if (end >= 0)
        end += Terminator.size() - tail.size();
    else if ((end = buffer_.indexOf(Terminator)) >= 0)
        end += Terminator.size();
    if (current_.pieces.size() >= MaxPieces) {
        fail(QStringLiteral("9 Subscript out of range: more than %1 pieces").arg(MaxPieces));
        return false;
    }
    if (end < 0) {
        current_.pieces.append(std::exchange(buffer_, {}));
        return false;
    }
    current_.pieces.append(buffer_.left(end));
    buffer_.remove(0, end);
    return true;
}

void MailConnection::complete() {
    const Ticket ticket = owed_.front().ticket;
    owed_.pop_front();
    inBody_ = false;
    Reply reply = std::exchange(current_, {});
    if (ticket >= floor_) {
        replies_.emplace_back(ticket, std::move(reply));
        emit replied();
    }
}

void MailConnection::fail(const QString& description) {
    close();
    emit failed(description);
}
