#include "EventLog.h"
#include "MemoryEventLog.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <syslog.h>

class TestEventLog : public QObject {
    Q_OBJECT

private slots:
    void priorities_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("priority");
        QTest::newRow("success") << 0 << LOG_NOTICE;
        QTest::newRow("error") << 1 << LOG_ERR;
        QTest::newRow("warning") << 2 << LOG_WARNING;
        QTest::newRow("information") << 4 << LOG_INFO;
    }
    void priorities() {
        QFETCH(int, type);
        QFETCH(int, priority);
        QCOMPARE(EventLog::PriorityFor(type), priority);
    }

    void messageIdsAreDistinctId128s() {
        const QList<qint32> ids = {0, 110, 9900, 0x7fffffff};
        QSet<QByteArray> seen;
        for (qint32 id : ids) {
            const QByteArray messageId = EventLog::MessageId(id);
            QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$"))
                         .match(QString::fromLatin1(messageId))
                         .hasMatch(),
                     messageId.constData());
            seen.insert(messageId);
        }
        QCOMPARE(seen.size(), ids.size());
    }

    void fileSinkWritesOneLinePerEntry() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("events.log"));
        qputenv("HOLLIMERE_EVENTLOG", QFile::encodeName(path));
        EventLog::SetSink(nullptr); // choose again from the environment
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);

        QVERIFY(
            LogEvent(1, 9000, QStringLiteral("POP Engine Error: line one\r\nline\ttwo \\ end")));
        QVERIFY(LogEvent(4, 110, QStringLiteral("Service paused")));
        qunsetenv("HOLLIMERE_EVENTLOG");
        EventLog::SetSink(nullptr);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(2), QString());
        const QStringList first = lines.at(0).split(u'\t');
        QCOMPARE(first.size(), 4);
        const QDateTime when = QDateTime::fromString(first.at(0), Qt::ISODateWithMs);
        QVERIFY2(when.isValid() && when >= before && when <= QDateTime::currentDateTime(),
                 qPrintable(first.at(0)));
        QCOMPARE(
            first.mid(1),
            (QStringList{QStringLiteral("1"), QStringLiteral("9000"),
                         QStringLiteral("POP Engine Error: line one\\r\\nline\\ttwo \\\\ end")}));
        QCOMPARE(lines.at(1).section(u'\t', 1), QStringLiteral("4\t110\tService paused"));
    }

    void unwritableFileNeverFailsTheCaller() {
        qputenv("HOLLIMERE_EVENTLOG", "/nonexistent-folder/events.log");
        EventLog::SetSink(nullptr);
        const bool written = LogEvent(1, 1090, QStringLiteral("Read Engine Error: x"));
        qunsetenv("HOLLIMERE_EVENTLOG");
        EventLog::SetSink(nullptr);
        QVERIFY(!written);
    }

    void entriesFromManyThreadsArriveWhole() {
        MemoryEventLog log;
        QList<QThread*> threads;
        for (int t = 0; t < 4; ++t) {
            threads.append(QThread::create([t] {
                for (int i = 0; i < 250; ++i)
                    LogEvent(4, 1000 + t, QStringLiteral("thread %1 entry %2").arg(t).arg(i));
            }));
            threads.last()->start();
        }
        for (QThread* thread : threads) {
            QVERIFY(thread->wait(10000));
            delete thread;
        }
        const auto entries = log.entries();
        QCOMPARE(entries.size(), 1000);
        QList<int> next(4, 0);
        for (const auto& e : entries) {
            const int t = e.id - 1000;
            QCOMPARE(e.text, QStringLiteral("thread %1 entry %2").arg(t).arg(next[t]++));
        }
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
