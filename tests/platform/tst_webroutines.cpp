#include "LocalHttpServer.h"
#include "StalledListener.h"
#include "UpdateCheck.h"
#include "WebRoutines.h"

#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestWebRoutines : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void cleanup() {
        qunsetenv("HOLLIMERE_PROBE_URL");
        qunsetenv("HOLLIMERE_UPDATE_URL");
    }

    void internetProbeConnectsForReal_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("connected");
        QTest::newRow("listening") << "listening" << true;
        QTest::newRow("nothing listens") << "closed" << false;
        QTest::newRow("silent host") << "stalled" << false;
        QTest::newRow("no host") << "" << false;
    }
    void internetProbeConnectsForReal() {
        QFETCH(QString, target);
        QFETCH(bool, connected);
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        const quint16 port = listener.serverPort();
        if (target == u"closed")
            listener.close();
        const StalledListener stalled;
        const quint16 probed = target == u"stalled" ? stalled.port() : port;
        qputenv("HOLLIMERE_PROBE_URL",
                target.isEmpty() ? QByteArray("http:///")
                                 : "http://127.0.0.1:" + QByteArray::number(probed) + "/");
        const bool answer =
            WebRoutines::Await<bool>([](QObject* context, std::function<void(bool)> done) {
                WebRoutines::ProbeInternet(context, std::move(done), 300);
            });
        QCOMPARE(answer, connected);
    }

    void cancelledWorkNeverAnswers() {
        LocalHttpServer http;
        http.stall(QStringLiteral("/stalled"));
        const StalledListener stalled;
        qputenv("HOLLIMERE_PROBE_URL",
                "http://127.0.0.1:" + QByteArray::number(stalled.port()) + "/");
        int answers = 0;
        auto context = std::make_unique<QObject>();
        WebRoutines::ProbeInternet(
            context.get(), [&](bool) { ++answers; }, 100);
        WebRoutines::StartDownload(
            http.url(QStringLiteral("/stalled")), dir.filePath(QStringLiteral("cancelled.dat")),
            context.get(), [&](bool) { ++answers; }, 100);
        QTRY_COMPARE(http.requestedPaths().size(), 1);
        context.reset();
        QTest::qWait(300);
        QCOMPARE(answers, 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void downloadKeepsOnlyWholeAnswers_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("ok");
        QTest::newRow("complete") << QStringLiteral("/file.txt") << true;
        QTest::newRow("not found") << QStringLiteral("/missing") << false;
        QTest::newRow("server error") << QStringLiteral("/broken") << false;
        QTest::newRow("no answer within the limit") << QStringLiteral("/stalled") << false;
    }
    void downloadKeepsOnlyWholeAnswers() {
        QFETCH(QString, path);
        QFETCH(bool, ok);
        LocalHttpServer http;
        http.serve(QStringLiteral("/file.txt"), "3.1.0\r\n");
        http.serve(QStringLiteral("/broken"), "partial", 500);
        http.stall(QStringLiteral("/stalled"));
        const QString target = dir.filePath(QStringLiteral("download.dat"));
        QFile::remove(target);
        QCOMPARE(WebRoutines::DownloadFile(http.url(path), target, 500), ok);
        QCOMPARE(readAll(target), ok ? QByteArray("3.1.0\r\n") : QByteArray("<missing>"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), ok ? 1 : 0);
    }

    void versionComparison_data() {
        QTest::addColumn<QString>("remote");
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<bool>("newer");
        QTest::newRow("minor step") << "3.1" << 3 << 0 << true;
        QTest::newRow("major step") << "4.0" << 3 << 9 << true;
        QTest::newRow("third part ignored") << "3.0.99" << 3 << 0 << false;
        QTest::newRow("older") << "2.9" << 3 << 0 << false;
        QTest::newRow("equal") << "3.0" << 3 << 0 << false;
        QTest::newRow("older major, higher minor") << "2.9" << 3 << 1 << false;
        QTest::newRow("line end after the minor") << "3.1\r\n" << 3 << 0 << true;
        QTest::newRow("five parts") << "3.1.0.0.1" << 3 << 0 << true;
        QTest::newRow("six parts") << "3.1.0.0.1.2" << 3 << 0 << false;
        QTest::newRow("words") << "three.one" << 3 << 0 << false;
        QTest::newRow("one part") << "4" << 3 << 0 << false;
        QTest::newRow("html error page") << "<html>4.0</html>" << 3 << 0 << false;
    }
    void versionComparison() {
        QFETCH(QString, remote);
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(bool, newer);
        QCOMPARE(UpdateCheck::IsNewerVersion(remote, major, minor), newer);
    }

    void fetchVersionText_data() {
        QTest::addColumn<QByteArray>("served");
        QTest::addColumn<bool>("found");
        QTest::newRow("a version") << QByteArray("3.1.0") << true;
        QTest::newRow("blank file") << QByteArray(" \r\n") << false;
        QTest::newRow("no file") << QByteArray() << false;
    }
    void fetchVersionText() {
        QFETCH(QByteArray, served);
        QFETCH(bool, found);
        LocalHttpServer http;
        const QString remotePath = QStringLiteral("/us/software/qvlGateway/download/revision.dat");
        if (!served.isEmpty())
            http.serve(remotePath, served);
        qputenv("HOLLIMERE_UPDATE_URL", http.url().toString().toLatin1() + "/");
        const QString copy = dir.filePath(QStringLiteral("Revision.dat"));
        QFile stale(copy);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("9.9");
        stale.close();

        const auto text = UpdateCheck::FetchVersionText(copy);
        QCOMPARE(text.has_value(), found);
        if (found)
            QCOMPARE(*text, QString::fromLatin1(served));
        QVERIFY(QFile::exists(copy) == !served.isEmpty()); // the stale copy never survives
        QCOMPARE(http.requestedPaths(), QStringList{remotePath});
        QCOMPARE(UpdateCheck::DownloadPageUrl(),
                 http.url().toString() + QStringLiteral("/software/QVL_POP3/download.htm"));
    }

    void noServerTurnsTheCheckOff() {
        if (!UpdateCheck::ServerBase().isEmpty())
            QSKIP("built with a maker's web server");
        QVERIFY(UpdateCheck::VersionFileUrl().isEmpty());
        QVERIFY(!UpdateCheck::FetchVersionText(dir.filePath(QStringLiteral("Revision.dat"))));
    }
};

QTEST_GUILESS_MAIN(TestWebRoutines)
#include "tst_webroutines.moc"
