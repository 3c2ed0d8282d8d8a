// Fault run: hollisvc -query over 10 messages in Dovecot is killed (SIGKILL) at a random
// moment of its cycle, then one clean cycle runs; 20 times, each with a fresh mailbox.
// Counts the messages lost and delivered twice, and those killed after the SMTP server
// had the message but before its ID was on the list (the only ones that may come twice).
//
//     bench_faultrun [rounds, default 20] [seed]

#include "DovecotServer.h"
#include "FileMod.h"
#include "LoopbackSite.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int Messages = 10;
constexpr int SecondMs = 20;

QByteArray Letter(int round, int n) {
    return "From: <news@else.example>\r\nTo: sales@isp.example\r\nSubject: Round " +
           QByteArray::number(round) + " letter " + QByteArray::number(n) + "\r\n\r\nText.\r\n";
}

struct Round {
    QString folder;
    QProcessEnvironment env;
    QString state() const { return folder + QStringLiteral("/state"); }
    QString log() const { return folder + QStringLiteral("/events.log"); }
};

// The IDs on the lists of the round, and the newest list's change time.
std::pair<int, QDateTime> Listed(const Round& round) {
    const QDir state(round.state());
    int ids = 0;
    QDateTime changed;
    for (const QFileInfo& info : state.entryInfoList({QStringLiteral("delivered-*.ids")})) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            ids += int(file.readAll().count('\n')) - 1;
        changed = std::max(changed, info.lastModified());
    }
    return {ids, changed};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    const quint32 seed =
        argc > 2 ? quint32(std::atoll(argv[2])) : QRandomGenerator::system()->generate();
    QRandomGenerator random(seed);
    const QString hollisvc =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../src/service/hollisvc");
    if (const QString missing = DovecotServer::Unavailable(); !missing.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(missing));
        return 2;
    }
    QTemporaryDir dir;
    OpenToOthers(dir.path());
    qint64 cycleMs = 0; // a clean cycle's length, from the first round
    int lost = 0, twice = 0, inWindow = 0, leftOnServer = 0;
    QList<qint64> windows;
    std::printf("seed %u; %d rounds of %d messages; second %d ms\n", seed, rounds, Messages,
                SecondMs);
    for (int r = 0; r <= rounds; ++r) {
        Round round{dir.filePath(QStringLiteral("round%1").arg(r)), {}};
        QDir().mkpath(round.state());
        OpenToOthers(round.folder);
        QList<QByteArray> letters;
        for (int n = 1; n <= Messages; ++n)
            letters << Letter(r, n);
        DovecotServer dovecot(round.folder);
        QString failed = dovecot.start({{QStringLiteral("sales"), QStringLiteral("pw1"), letters},
                                        {QStringLiteral("catchall"), QStringLiteral("pw2"), {}},
                                        {QStringLiteral("archive"), QStringLiteral("pw3"), {}}});
        SmtpSinkServer sink(round.folder + QStringLiteral("/delivered"));
        if (failed.isEmpty())
            failed = sink.start();
        if (failed.isEmpty() && !FileMod::SaveData(LoopbackSite(dovecot.port(), sink.port(), 100),
                                                   FileMod::DataFilePath(round.folder)))
            failed = QStringLiteral("cannot write the data file");
        if (!failed.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(failed));
            return 2;
        }
        round.env = HollisvcEnvironment(round.folder, round.log(), SecondMs);
        round.env.insert(QStringLiteral("HOLLIMERE_STATE_DIR"), round.state());

        int accepted = 0, listed = 0;
        qint64 killedAt = -1;
        if (r == 0) { // calibration: how long a clean cycle takes
            QElapsedTimer clock;
            clock.start();
            (void)RunQuery(hollisvc, round.log(), round.env);
            cycleMs = clock.elapsed();
            std::printf("clean cycle of %d messages: %lld ms\n", Messages, cycleMs);
            continue;
        } else {
            killedAt = random.bounded(cycleMs);
            QProcess svc;
            svc.setProcessEnvironment(round.env);
            svc.start(hollisvc, {QStringLiteral("-query")});
            svc.waitForStarted();
            QThread::msleep(quint64(killedAt));
            svc.kill();
            svc.waitForFinished();
            accepted = sink.count();
            listed = Listed(round).first;
        }
        (void)RunQuery(hollisvc, round.log(), round.env);
        QHash<QByteArray, int> times;
        for (int n = 1; n <= sink.count(); ++n)
            ++times[sink.message(n)];
        int roundLost = 0, roundTwice = 0;
        for (const QByteArray& letter : letters) {
            roundLost += times.value(letter) == 0;
            roundTwice += times.value(letter) > 1;
        }
        const int roundWindow = accepted - listed;
        lost += roundLost;
        twice += roundTwice;
        inWindow += roundWindow;
        leftOnServer += int(dovecot.waiting(QStringLiteral("sales")).size());
        // The last delivery of the clean cycle: from the sink's file to the list's write.
        if (sink.count() > accepted) {
            const QDateTime eml =
                QFileInfo(round.folder + QStringLiteral("/delivered/%1.eml").arg(sink.count()))
                    .lastModified();
            windows << eml.msecsTo(Listed(round).second);
        }
        std::printf("round %2d: killed at %5lld ms, %2d accepted, %2d listed; then lost %d, "
                    "twice %d\n",
                    r, killedAt, accepted, listed, roundLost, roundTwice);
    }
    std::sort(windows.begin(), windows.end());
    std::printf("kills %d: lost %d, delivered twice %d, killed between the SMTP server's "
                "acceptance and the write of the ID %d; left on the server %d\n",
                rounds, lost, twice, inWindow, leftOnServer);
    if (!windows.isEmpty())
        std::printf("from the SMTP server's file to the ID on disk: median %lld ms, max %lld ms "
                    "(%lld measured)\n",
                    windows[windows.size() / 2], windows.last(), qint64(windows.size()));
    return lost == 0 && twice == inWindow && leftOnServer == 0 ? 0 : 1;
}
