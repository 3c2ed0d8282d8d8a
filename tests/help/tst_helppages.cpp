#include "EventTable.h"
#include "LogEventScan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QTest>

using namespace LogEventScan;

namespace {

// What the help viewer downloads and shows; contents.htp is its start page.
const QStringList HelpFiles = {
    "basicop.htp",      "contents.htp",     "errors.htp",    "installsvc.htp",
    "introduction.htp", "requirements.htp", "revisions.htp", "setup.htp",
    "support.htp",      "uninstallsvc.htp", "mainhelp.gif",  "accmake.htp",
    "accremv.htp",      "accprop.htp",      "accounts.htp",  "faq.htp"};

QString helpPath(const QString& name) {
    return QDir(QStringLiteral(HOLLIMERE_HELP_DIR)).filePath(name);
}

QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList pages() {
    return HelpFiles.filter(QStringLiteral(".htp"));
}

// Every href and src of a page.
QStringList links(const QString& html) {
    static const QRegularExpression link(QStringLiteral("\\b(?:href|src)\\s*=\\s*\"([^\"]*)\""),
                                         QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    auto it = link.globalMatch(html);
    while (it.hasNext())
        out.append(it.next().captured(1));
    return out;
}

} // namespace

class TestHelpPages : public QObject {
    Q_OBJECT

    Result scan_;
    QMap<qint32, QList<Call>> callsById_;
    QString errors_;

private slots:
    void initTestCase() {
        scan_ = ScanFolder(QStringLiteral(HOLLIMERE_SOURCE_DIR));
        for (const Call& call : std::as_const(scan_.calls))
            for (qint32 id : call.ids)
                callsById_[id].append(call);
        errors_ = readText(helpPath(QStringLiteral("errors.htp")));
    }

    void scanner_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QList<qint32>>("ids");
        QTest::addColumn<QString>("textStart");
        QTest::addColumn<int>("unreadable");
        QTest::newRow("one line")
            << "LogEvent(EventLog::Error, 1200, QStringLiteral(\"Data File Not setup\")); "
            << QList<qint32>{1200} << "Data File Not setup" << 0;
        QTest::newRow("over lines, comma in the text")
            << "    LogEvent(\n        EventLog::Success, 1001,\n"
               "        QStringLiteral(\"All POP servers, cued\"));"
            << QList<qint32>{1001} << "All POP servers, cued" << 0;
        QTest::newRow("ID chosen by a condition")
            << "LogEvent(EventLog::Error, pop ? 7210 : 7211, (pop ? QStringLiteral(\"POP\") : "
               "QStringLiteral(\"SMTP\")) + QStringLiteral(\" service error, improper\")); "
            << QList<qint32>{7210, 7211} << "service error, improper" << 0;
        QTest::newRow("placeholder cuts the text")
            << "LogEvent(EventLog::Error, 5000, QStringLiteral(\"ChkMail Error Number: "
               "%1\").arg(n));"
            << QList<qint32>{5000} << "ChkMail Error Number:" << 0;
        QTest::newRow("escaped quote and parenthesis in the text")
            << "LogEvent(EventLog::Warning, 8004, QStringLiteral(\"Refused \\\"a(b\\\" by: \") + "
               "host);"
            << QList<qint32>{8004} << "Refused \"a(b\" by:" << 0;
        QTest::newRow("declaration and comment are no calls")
            << "bool LogEvent(int type, qint32 id, const QString& text);\n"
               "// see LogEvent(EventLog::Error, 1, x)\n"
            << QList<qint32>{} << QString() << 0;
        QTest::newRow("ID in a variable cannot be checked")
            << "LogEvent(EventLog::Error, eventId, QStringLiteral(\"Something failed\"));"
            << QList<qint32>{} << QString() << 1;
        QTest::newRow("text without fixed words cannot be checked")
            << "LogEvent(EventLog::Error, 9001, description);" << QList<qint32>{} << QString() << 1;
        QTest::newRow("unknown type cannot be checked")
            << "LogEvent(kind, 9002, QStringLiteral(\"Something failed\"));" << QList<qint32>{}
            << QString() << 1;
    }

    void scanner() {
        QFETCH(QString, source);
        QFETCH(QList<qint32>, ids);
        QFETCH(QString, textStart);
        QFETCH(int, unreadable);
        Result result;
        ScanText(source, QStringLiteral("x.cpp"), result);
        QCOMPARE(result.unreadable.size(), unreadable);
        QCOMPARE(result.calls.size(), ids.isEmpty() ? 0 : 1);
        if (!ids.isEmpty()) {
            QCOMPARE(result.calls[0].ids, ids);
            QCOMPARE(result.calls[0].textStart, textStart);
        }
    }

    void sourceCallsAreReadable() {
        QVERIFY2(scan_.unreadable.isEmpty(),
                 qPrintable(QStringLiteral("event calls the help cannot be checked against: ") +
                            scan_.unreadable.join(QStringLiteral(", "))));
        QVERIFY2(callsById_.size() > 10, "the scan found almost no events: wrong folder?");
    }

    void eventExplained_data() {
        QTest::addColumn<qint32>("id");
        for (auto it = callsById_.cbegin(); it != callsById_.cend(); ++it)
            QTest::newRow(qPrintable(QString::number(it.key()))) << it.key();
    }

    void eventExplained() {
        QFETCH(qint32, id);
        const QStringList cells = EventTable::Row(errors_, id);
        QVERIFY2(
            cells.size() == 4,
            qPrintable(QStringLiteral("errors.htp has no row of four cells for event %1").arg(id)));
        QCOMPARE(cells[0], QString::number(id));
        for (const Call& call : callsById_.value(id)) {
            QVERIFY2(cells[1] == call.type,
                     qPrintable(QStringLiteral("%1 writes type %2, the help says %3")
                                    .arg(call.where, call.type, cells[1])));
            QVERIFY2(cells[2].contains(call.textStart),
                     qPrintable(QStringLiteral("the help does not quote \"%1\" (%2)")
                                    .arg(call.textStart, call.where)));
        }
        const qsizetype words = cells[3].split(u' ', Qt::SkipEmptyParts).size();
        QVERIFY2(words >= 15,
                 qPrintable(
                     QStringLiteral("event %1 is explained in only %2 words").arg(id).arg(words)));
    }

    void noEventWithoutWriter() {
        QStringList stale;
        for (qint32 id : EventTable::Ids(errors_))
            if (!callsById_.contains(id))
                stale.append(QString::number(id));
        QVERIFY2(stale.isEmpty(),
                 qPrintable(QStringLiteral("errors.htp explains events nothing writes: ") +
                            stale.join(QStringLiteral(", "))));
    }

    void fileShipped_data() {
        QTest::addColumn<QString>("name");
        for (const QString& name : HelpFiles)
            QTest::newRow(qPrintable(name)) << name;
    }

    void fileShipped() {
        QFETCH(QString, name);
        QFile file(helpPath(name));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(helpPath(name)));
        const QByteArray bytes = file.readAll();
        if (name.endsWith(QStringLiteral(".gif"))) {
            QVERIFY(bytes.startsWith("GIF89a") || bytes.startsWith("GIF87a"));
            return;
        }
        const QString html = QString::fromUtf8(bytes).toLower();
        QVERIFY(html.contains(QStringLiteral("<title>")));
        QVERIFY(html.contains(QStringLiteral("</html>")));
        QVERIFY2(!html.contains(QStringLiteral("<script")) &&
                     !html.contains(QStringLiteral("<link")),
                 "the viewer shows plain pages: no scripts, no style sheets");
    }

    void contentsLinksEveryPage() {
        const QStringList targets = links(readText(helpPath(QStringLiteral("contents.htp"))));
        for (const QString& name : HelpFiles) {
            const bool linked = std::any_of(targets.begin(), targets.end(), [&](const QString& t) {
                return t.section(u'#', 0, 0) == name;
            });
            QVERIFY2(linked || name == u"contents.htp", qPrintable(name));
        }
    }

    void linksResolve_data() {
        QTest::addColumn<QString>("page");
        for (const QString& page : pages())
            QTest::newRow(qPrintable(page)) << page;
    }

    void linksResolve() {
        QFETCH(QString, page);
        const QString html = readText(helpPath(page));
        QVERIFY(!html.isEmpty());
        static const QRegularExpression scheme(QStringLiteral("^[a-z][a-z0-9+.-]*:"),
                                               QRegularExpression::CaseInsensitiveOption);
        for (const QString& link : links(html)) {
            // Help works offline: only a mail address may leave the folder.
            if (link.startsWith(QStringLiteral("mailto:")))
                continue;
            QVERIFY2(!scheme.match(link).hasMatch(), qPrintable(page + ": " + link));
            const QString file = link.section(u'#', 0, 0);
            const QString fragment = link.section(u'#', 1);
            const QString target = file.isEmpty() ? page : file;
            QVERIFY2(QFileInfo::exists(helpPath(target)), qPrintable(page + ": " + link));
            if (!fragment.isEmpty())
                QVERIFY2(readText(helpPath(target))
                             .contains(QStringLiteral("<a name=\"%1\">").arg(fragment)),
                         qPrintable(page + ": " + link));
        }
    }
};

QTEST_GUILESS_MAIN(TestHelpPages)
#include "tst_helppages.moc"
