// CPU time of a session that waits the full POP time-out (30 seconds) for a server that
// accepted the connection and never answers. A wait must sleep, not poll.
//
//     bench_silentwait [length of a second in ms, default 1000]

#include "RealTime.h"
#include "SlotWorker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTextStream>

#include <sys/resource.h>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return t.tv_sec + t.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int secondMs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;

    QTcpServer silent;
    if (!silent.listen(QHostAddress::LocalHost, 0))
        return 1;
    RealTime clock(secondMs);
    RealTimer timer(clock);
    SlotWorker worker(clock);
    ServiceSettings settings;
    settings.popTimeout = 30;
    settings.logLevel = LogLevel::Low;

    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QObject::connect(&worker, &SlotWorker::finished, &app, [&](bool ok) {
        const double cpu = CpuSeconds() - cpuBefore;
        QTextStream(stdout) << "silent 30-second wait (second = " << secondMs
                            << " ms): " << (ok ? "answered?!" : "timed out") << " after "
                            << wall.elapsed() / 1000.0 << " s wall, " << cpu
                            << " s CPU (whole process)\n";
        app.quit();
    });
    (void)worker.run(settings, [port = silent.serverPort()](SessionSlot& slot) {
        return slot.POP.open(QStringLiteral("127.0.0.1"), port) &&
               slot.WaitPOPReply(slot.POP.greeting(), "+OK");
    });
    return app.exec();
}
