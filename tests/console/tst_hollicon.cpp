#include "AnsweringMessageBoxes.h"
#include "FakeServiceDirectory.h"
#include "FileMod.h"
#include "MainMod.h"

#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestHollicon : public QObject {
    Q_OBJECT

    QTemporaryDir runtime_;

private slots:
    void initTestCase() {
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    }

    // A second start rings the running console, which comes to the front, and ends.
    void secondStartRingsTheFirst() {
        QTemporaryDir data;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOLLIMERE_DATA_DIR"), data.path());
        env.insert(QStringLiteral("HOLLIMERE_SYSTEMCTL"), QStringLiteral("/bin/false"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess first;
        first.setProcessEnvironment(env);
        first.start(QStringLiteral(HOLLICON_PATH));
        QVERIFY(first.waitForStarted());
        // The first instance has made the data file once it holds the lock and has loaded.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(FileMod::DataFilePath(data.path())), 10000);

        // It listens once its window is made.
        QTRY_VERIFY_WITH_TIMEOUT(
            [this] {
                QLocalSocket doorbell;
                doorbell.connectToServer(runtime_.filePath(QStringLiteral("hollicon.socket")));
                return doorbell.waitForConnected(200);
            }(),
            10000);

        QProcess second;
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(HOLLICON_PATH));
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput(), QByteArray());
        QCOMPARE(first.state(), QProcess::Running);

        first.kill();
        QVERIFY(first.waitForFinished(10000));
    }

    void unreadableDataFileIsNamed() {
        QTemporaryDir data;
        const QString path = FileMod::DataFilePath(data.path());
        QVERIFY(QDir().mkdir(path)); // a folder where the file should be: unreadable even for root
        qputenv("HOLLIMERE_DATA_DIR", data.path().toLocal8Bit());
        FakeServiceDirectory services;
        AnsweringMessageBoxes boxes;
        QCOMPARE(MainMod::Main(services, boxes), 1);
        qunsetenv("HOLLIMERE_DATA_DIR");
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown[0].icon, MsgBox::Icon::Critical);
        QVERIFY2(boxes.shown[0].text.contains(path), qPrintable(boxes.shown[0].text));
        QCOMPARE(services.listCalls(), 0);
    }
};

QTEST_MAIN(TestHollicon)
#include "tst_hollicon.moc"
