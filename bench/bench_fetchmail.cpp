// Relay throughput of hollisvc -query against fetchmail, in one run against the same
// private Dovecot and the same loopback SMTP server: 200 messages of about 3 KB, 5 of
// about 2 MB, the small case again behind a relay that delays each direction by 25 ms
// (a POP3 server across the Internet), and the peak memory of hollisvc for one 50 MB
// message. Every run is checked: each message delivered once and whole, the mailbox
// empty afterwards. Needs root, Debian's dovecot-pop3d, python3-aiosmtpd, fetchmail and
// time.
//
//     bench_fetchmail [small count, default 200]

#include "DelayRelay.h"
#include "DovecotServer.h"
#include "FileMod.h"
#include "LoopbackSite.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <optional>

namespace {

const QString User = QStringLiteral("bench");

QByteArray Message(int n, qint64 bytes) {
    QByteArray text = "Received: from bench\r\nFrom: <sender@example.org>\r\n"
                      "To: <anna@example.com>\r\nSubject: message " +
                      QByteArray::number(n) + "\r\n\r\n";
    const QByteArray line = QByteArray(76, 'x') + "\r\n";
    while (text.size() + line.size() <= bytes)
        text += line;
    return text;
}

struct Load {
    QString name;
    int count;
    qint64 bytes;
};

struct Result {
    double seconds = 0;
    double messagesPerSecond = 0;
    double megabytesPerSecond = 0;
    qint64 peakKiB = 0;
};

QTextStream& Out() {
    static QTextStream out(stdout);
    return out;
}

class Bench {
public:
    explicit Bench(const QString& folder) : folder_(folder), dovecot_(folder + "/dovecot") {}

    QString start() {
        QDir().mkpath(folder_ + "/dovecot");
        return dovecot_.start({{User, User, {}}});
    }

    // One client run over a fresh mailbox of load; nullopt when a check failed (said why).
    std::optional<Result> run(const QString& client, const Load& load, int delayMs,
                              bool measureMemory = false) {
        QList<QByteArray> messages;
        qint64 total = 0;
        for (int n = 1; n <= load.count; ++n) {
            messages.append(Message(n, load.bytes));
            total += messages.last().size();
            dovecot_.deposit(User, messages.last());
        }
        const QString runFolder = folder_ + QStringLiteral("/run%1").arg(++runs_);
        SmtpSinkServer sink(runFolder + "/delivered");
        if (const QString failed = sink.start(); !failed.isEmpty())
            return fail(failed);
        DelayRelay relay(dovecot_.port(), delayMs);
        const quint16 popPort = delayMs > 0 ? relay.port() : dovecot_.port();

        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        QStringList command;
        if (measureMemory)
            command << QStringLiteral("/usr/bin/time") << QStringLiteral("-f")
                    << QStringLiteral("peak-kib %M");
        if (client == u"fetchmail") {
            const QString rc = runFolder + "/fetchmailrc";
            QFile f(rc);
            f.open(QIODevice::WriteOnly);
            f.write(QStringLiteral("set no bouncemail\n"
                                   "poll 127.0.0.1 service %1 protocol pop3 user \"%2\" password "
                                   "\"%2\" is \"anna\" here smtphost 127.0.0.1/%3 fetchall no "
                                   "keep sslproto ''\n")
                        .arg(popPort)
                        .arg(User)
                        .arg(sink.port())
                        .toUtf8());
            f.close();
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("HOME"), runFolder);
            process.setProcessEnvironment(env);
            command << QStringLiteral("fetchmail") << QStringLiteral("-f") << rc
                    << QStringLiteral("-N") << QStringLiteral("--nosyslog");
        } else {
            Configuration c = LoopbackSite(popPort, sink.port(), 30);
            for (int i = 1; i < 3; ++i)
                c.Accounts[i] = AccountRecord();
            c.Accounts[0].UserName = c.Accounts[0].Password = User;
            c.Settings.LogMode = QStringLiteral("1");
            if (!FileMod::SaveData(c, FileMod::DataFilePath(runFolder)))
                return fail(QStringLiteral("cannot write the data file"));
            process.setProcessEnvironment(
                HollisvcEnvironment(runFolder, runFolder + "/events.log", 1000));
            command << client << QStringLiteral("-query");
        }

        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QElapsedTimer wall;
        wall.start();
        process.start(command.takeFirst(), command);
        loop.exec();
        Result r;
        r.seconds = wall.elapsed() / 1000.0;
        const QByteArray output = process.readAll();
        if (const qsizetype at = output.lastIndexOf("peak-kib "); at >= 0)
            r.peakKiB = output.mid(at + 9).trimmed().toLongLong();

        // Each message once and whole. fetchmail adds a Received line of its own in front.
        for (int n = 1; n <= load.count; ++n) {
            const QByteArray got = sink.message(n);
            if (!(client == u"fetchmail" ? got.endsWith(messages[n - 1]) : got == messages[n - 1]))
                return fail(QStringLiteral("%1: message %2 not delivered whole (%3)")
                                .arg(client)
                                .arg(n)
                                .arg(QString::fromUtf8(output.right(300))));
        }
        if (sink.count() != load.count || !dovecot_.waiting(User).isEmpty())
            return fail(QStringLiteral("%1: %2 delivered, %3 left on the server")
                            .arg(client)
                            .arg(sink.count())
                            .arg(dovecot_.waiting(User).size()));
        r.messagesPerSecond = load.count / r.seconds;
        r.megabytesPerSecond = total / 1e6 / r.seconds;
        return r;
    }

private:
    static std::optional<Result> fail(const QString& why) {
        Out() << "FAILED: " << why << Qt::endl;
        return std::nullopt;
    }

    QString folder_;
    DovecotServer dovecot_;
    int runs_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int small = argc > 1 ? std::atoi(argv[1]) : 200;
    const QString hollisvc = QCoreApplication::applicationDirPath() + "/../src/service/hollisvc";
    if (const QString missing = DovecotServer::Unavailable(); !missing.isEmpty()) {
        Out() << missing << Qt::endl;
        return 2;
    }
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::ExeOther);
    Bench bench(dir.path());
    if (const QString failed = bench.start(); !failed.isEmpty()) {
        Out() << "Dovecot: " << failed << Qt::endl;
        return 2;
    }

    bool ok = true;
    const struct {
        Load load;
        int delayMs;
    } cases[] = {{{QStringLiteral("%1 × 3 KB").arg(small), small, 3000}, 0},
                 {{QStringLiteral("5 × 2 MB"), 5, 2000000}, 0},
                 {{QStringLiteral("%1 × 3 KB, 25 ms delay").arg(small), small, 3000}, 25}};
    Out() << "case | fetchmail msg/s, MB/s | hollisvc msg/s, MB/s | ratio msg/s, MB/s\n";
    for (const auto& c : cases) {
        const auto theirs = bench.run(QStringLiteral("fetchmail"), c.load, c.delayMs);
        const auto ours = bench.run(hollisvc, c.load, c.delayMs);
        if (!theirs || !ours) {
            ok = false;
            continue;
        }
        Out() << c.load.name << " | " << theirs->messagesPerSecond << ", "
              << theirs->megabytesPerSecond << " | " << ours->messagesPerSecond << ", "
              << ours->megabytesPerSecond << " | "
              << ours->messagesPerSecond / theirs->messagesPerSecond << ", "
              << ours->megabytesPerSecond / theirs->megabytesPerSecond << Qt::endl;
    }
    const Load big{QStringLiteral("1 × 50 MB"), 1, 50000000};
    if (const auto memory = bench.run(hollisvc, big, 0, true)) {
        Out() << "hollisvc, one 50 MB message: peak memory " << memory->peakKiB / 1024.0
              << " MiB (limit 1.2 × 47.7 + 30 = " << 1.2 * 50e6 / 1048576 + 30 << " MiB), "
              << memory->megabytesPerSecond << " MB/s" << Qt::endl;
    } else {
        ok = false;
    }
    return ok ? 0 : 1;
}
