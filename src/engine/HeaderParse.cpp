#include "HeaderParse.h"

#include "Ansi.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<const char*, 9> HeaderNames = {
    "Date:",    "To:",       "From:",         "Return-Path:", "Content-Type:",
    "Subject:", "Reply-To:", "Delivered-To:", "Received:"};

QByteArray Bytes(const QString& text) {
    // Settings come from the data file, which holds Windows-1252 only.
    return Ansi::ToAnsi(text).value_or(QByteArray());
}

bool HasControlOrBlank(QByteArrayView text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u <= ' ' || u == 0x7f;
    });
}

// Only the reply lines go: those in front that begin with "+OK" or "-ERR" (the reply to
// RETR, and any stray reply to an earlier command). The first header stays whole.
qsizetype BodyStart(const QByteArray& text) {
    qsizetype start = 0;
    const auto replyAt = [&text](qsizetype at) {
        const QByteArrayView rest = QByteArrayView(text).sliced(at);
        return rest.startsWith("+OK") || rest.startsWith("-ERR");
    };
    while (replyAt(start)) {
        const qsizetype eol = text.indexOf('\n', start);
        if (eol < 0)
            return text.size();
        start = eol + 1;
    }
    return start;
}

// The text the recipients are searched in: up to the end of the line that holds the
// last of the header names, as far as they occur in the header block.
QByteArray SearchText(const QByteArray& text, const QByteArray& stripped) {
    const qsizetype blockEnd = text.indexOf("\r\n\r\n", 4);
    const QByteArray block = blockEnd < 0 ? QByteArray() : text.left(blockEnd + 1).toLower();
    qsizetype last = -1;
    for (const char* name : HeaderNames)
        last = std::max(last, block.indexOf(QByteArray(name).toLower()));
    if (last < 0)
        return stripped;
    const qsizetype cr = text.indexOf('\r', last);
    return cr < 0 ? QByteArray() : text.left(cr + 1);
}

void FindRecipients(const QByteArray& searchText, const QByteArray& remoteDomain,
                    const QByteArray& postmaster, PreparedMessage& out) {
    const QByteArray local = '@' + remoteDomain.toLower();
    qsizetype pos = 0;
    while (!remoteDomain.isEmpty()) {
        const qsizetype open = searchText.indexOf('<', pos);
        if (open < 0)
            break;
        pos = open + 1;
        const qsizetype close = searchText.indexOf('>', pos);
        if (close < 0) {
            out.FieldMissing = true;
            break;
        }
        const QByteArray addr = searchText.mid(pos, close - pos);
        // An address that could carry a line break into a command is never taken.
        const bool isLocal = addr.toLower().contains(local) && !HasControlOrBlank(addr);
        if (!isLocal)
            continue;
        if (out.Recipients.contains(addr))
            continue;
        out.Recipients.append(addr.split(','));
    }
    // Nobody local found: the postmaster gets it, rather than the server refusing a
    // message with no recipient in every cycle while it waits at the ISP for ever.
    if (out.Recipients.isEmpty())
        out.Recipients.append(postmaster);
}

QByteArray EnvelopeSender(const QByteArray& message, const QByteArray& postmaster) {
    const qsizetype from = message.indexOf("From: ");
    const qsizetype open = from < 0 ? -1 : message.indexOf('<', from);
    const qsizetype close = open < 0 ? -1 : message.indexOf('>', open + 1);
    if (close < 0)
        return postmaster;
    const QByteArray candidate = message.mid(open + 1, close - open - 1);
    return IsPlainAddress(candidate) ? candidate : postmaster;
}

} // namespace

bool IsPlainAddress(QByteArrayView text) {
    int ats = 0;
    int dots = 0;
    for (const char c : text) {
        if (c == '"' || c == '<' || c == '>' || c == ':')
            return false;
        if (c == '@' && ++ats > 1)
            return false;
        if (c == '.' && ++dots > 1)
            return false;
    }
    return ats == 1 && dots == 1 && !HasControlOrBlank(text);
}

PreparedMessage PrepareMessage(const QByteArray& text, const AccountRecord& account,
                               const ServiceSettings& settings) {
    PreparedMessage out;
    const QByteArray postmaster = Bytes(settings.postmasterMailbox);
    out.Message = text.mid(BodyStart(text));
    if (account.GlobalMailHost)
        FindRecipients(SearchText(text, out.Message), Bytes(account.RemoteDomain), postmaster, out);
    out.Sender = settings.sendToPostmaster ? postmaster : EnvelopeSender(out.Message, postmaster);
    return out;
}
