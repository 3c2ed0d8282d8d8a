// Relay throughput from a loopback POP3 server to a loopback SMTP server, through the
// real session: RetrieveMailbox on a slot's own thread, the scripted servers in a child
// process so that the peak memory reported is the relay's alone.
//
//     bench_relay small|20mb|50mb [length of a second in ms, default 1000]
//
// small: 200 messages of about 2 KB; 20mb, 50mb: one message of that size.

#include "RealTime.h"
#include "RetrieveMailbox.h"
#include "ScriptedServer.h"
#include "SlotWorker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Load {
    int messages;
    qint64 bytes; // of each message
};

QByteArray Message(int n, qint64 bytes) {
    QByteArray text =
        "Received: from bench\r\nFrom: <sender@example.org>\r\nTo: <anna@example.com>\r\n"
        "Subject: message " +
        QByteArray::number(n) + "\r\n\r\n";
    const QByteArray line = QByteArray(76, 'x') + "\r\n";
    text.reserve(bytes + line.size());
    while (text.size() + line.size() + 3 <= bytes)
        text += line;
    return text + ".\r\n";
}

// The child: both servers, until the POP3 session has said "quit". Writes the ports, and
// at the end the number of messages the SMTP server took and their bytes.
int Serve(int argc, char** argv, const Load& load, FILE* out) {
    QCoreApplication app(argc, argv);
    ScriptedServer pop;
    ScriptedServer smtp;
    pop.answer("noop", "+OK");
    pop.answer("CAPA", "-ERR");
    smtp.answer("noop", "250 ok");
    pop.reply("+OK ready").expect("USER bench").reply("+OK").expect("PASS bench").reply("+OK");
    pop.expect("STAT").reply("+OK " + QByteArray::number(load.messages) + " 0");
    for (int n = 1; n <= load.messages; ++n) {
        const QByteArray number = QByteArray::number(n);
        const QByteArray message = Message(n, load.bytes);
        pop.expect("LIST " + number)
            .reply("+OK " + number + ' ' + QByteArray::number(message.size()));
        pop.expect("RETR " + number).send("+OK\r\n" + message);
        pop.expect("dele " + number).reply("+OK");
    }
    pop.expect("quit").reply("+OK bye");
    smtp.reply("220 ready").expectPrefix("HELO ").reply("250 hello").expectPrefix("mail from:");
    smtp.reply("250 ok").expectPrefix("rcpt to:").reply("250 ok").expect("data").reply("354 go");
    smtp.expectMessage().reply("250 queued").expect("quit").reply("221 bye");
    std::fprintf(out, "%u %u\n", pop.port(), smtp.port());
    std::fflush(out);

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (!pop.finished())
            return;
        qint64 bytes = 0;
        for (const QByteArray& m : smtp.messages())
            bytes += m.size();
        std::fprintf(out, "%lld %lld\n", static_cast<long long>(smtp.messages().size()),
                     static_cast<long long>(bytes));
        std::fflush(out);
        app.quit();
    });
    poll.start(20);
    return app.exec();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    const QByteArray mode = argc > 1 ? argv[1] : "small";
    const int secondMs = argc > 2 ? std::atoi(argv[2]) : 1000;
    const Load load = mode == "20mb"   ? Load{1, 20LL << 20}
                      : mode == "50mb" ? Load{1, 50LL << 20}
                                       : Load{200, 2048};
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return 1;
    // Before any Qt object exists, so that the child starts clean.
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        return Serve(argc, argv, load, fdopen(pipeFds[1], "w"));
    }
    close(pipeFds[1]);
    FILE* in = fdopen(pipeFds[0], "r");
    unsigned popPort = 0;
    unsigned smtpPort = 0;
    if (std::fscanf(in, "%u %u", &popPort, &smtpPort) != 2)
        return 1;

    QCoreApplication app(argc, argv);
    RealTime clock(secondMs);
    RealTimer timer(clock);
    SlotWorker worker(clock);
    ConfigSettings settings;
    settings.SmtpServer = QStringLiteral("127.0.0.1");
    settings.SmtpPort = QString::number(smtpPort);
    settings.PostmasterMailbox = QStringLiteral("postmaster@example.com");
    settings.SendToPostmaster = QStringLiteral("0");
    settings.PopTimeout = settings.SmtpTimeout = QStringLiteral("30");
    settings.LogMode = QStringLiteral("1");
    AccountRecord account;
    account.MailServer = QStringLiteral("127.0.0.1:%1").arg(popPort);
    account.UserName = account.Password = QStringLiteral("bench");
    account.ExchangeUser = QStringLiteral("anna");

    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    bool ok = false;
    QObject::connect(&worker, &SlotWorker::finished, &app, [&](bool result) {
        ok = result;
        app.quit();
    });
    (void)worker.run(settings,
                     [account](SessionSlot& slot) { return RetrieveMailbox(slot, account); });
    app.exec();
    const double seconds = wall.elapsed() / 1000.0;
    const double cpu = CpuSeconds() - cpuBefore;

    long long relayed = 0;
    long long bytes = 0;
    if (std::fscanf(in, "%lld %lld", &relayed, &bytes) != 2)
        relayed = bytes = -1;
    waitpid(child, nullptr, 0);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);

    QTextStream(stdout) << mode << " (second = " << secondMs << " ms): session "
                        << (ok ? "ended normally" : "FAILED") << ", " << relayed << " of "
                        << load.messages << " messages relayed, " << bytes / 1e6 << " MB in "
                        << seconds << " s wall, " << cpu << " s CPU; " << relayed / seconds
                        << " messages/s, " << bytes / 1048576.0 / seconds
                        << " MiB/s; peak memory of the relay " << usage.ru_maxrss / 1024.0
                        << " MiB\n";
    return ok && relayed == load.messages ? 0 : 1;
}
