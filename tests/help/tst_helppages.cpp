#include "EventTable.h"
#include "modHelp.h"

#include <QDirIterator>
#include <QFile>
#include <QMultiMap>
#include <QRegularExpression>
#include <QTest>

namespace {

QString helpPath(const QString& name) {
    return QDir(QStringLiteral(HOLLIMERE_HELP_DIR)).filePath(name);
}

QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Every href and src of a page.
QStringList links(const QString& html) {
    static const QRegularExpression link(QStringLiteral("\\b(?:href|src)\\s*=\\s*\"([^\"]*)\""),
                                         QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    for (const auto& m : link.globalMatch(html))
        out.append(m.captured(1));
    return out;
}

struct Call {
    QString where; // file:line
    QString type;  // as the help names it: "error", ...
    QString words; // the first fixed words of the text, up to a placeholder
};

// Every event-log call in the sources, by ID; one whose type, ID or words cannot be read
// from the source is listed under ID 0.
QMultiMap<qint32, Call> eventCalls() {
    static const QRegularExpression call(QStringLiteral(R"(\bLogEvent\((?!int )(.*?)\);)"),
                                         QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression parts(QStringLiteral(R"(^\s*EventLog::(\w+),([^,]*),(.*)$)"),
                                          QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    QMultiMap<qint32, Call> out;
    QDirIterator files(QStringLiteral(HOLLIMERE_SOURCE_DIR), {QStringLiteral("*.cpp")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString text = readText(path);
        for (const auto& m : call.globalMatch(text)) {
            const auto p = parts.match(m.captured(1));
            const int line = int(text.left(m.capturedStart()).count(u'\n')) + 1;
            Call found{path + u':' + QString::number(line), p.captured(1).toLower(), QString()};
            QList<qint32> ids;
            for (const auto& n :
                 QRegularExpression(QStringLiteral(R"(\b\d+\b)")).globalMatch(p.captured(2)))
                ids.append(n.captured().toInt());
            for (const auto& l : literal.globalMatch(p.captured(3))) {
                found.words = l.captured(1)
                                  .replace(QStringLiteral("\\\""), QStringLiteral("\""))
                                  .section(QRegularExpression(QStringLiteral("%\\d")), 0, 0)
                                  .simplified();
                if (found.words.size() >= 5)
                    break;
            }
            if (ids.isEmpty() || found.words.size() < 5)
                ids = {0};
            for (const qint32 id : ids)
                out.insert(id, found);
        }
    }
    return out;
}

} // namespace

class TestHelpPages : public QObject {
    Q_OBJECT

    QMultiMap<qint32, Call> calls_ = eventCalls();
    QString errors_ = readText(helpPath(QStringLiteral("errors.htp")));

private slots:
    void everyEventCallIsReadable() {
        QStringList unreadable;
        for (const Call& call : calls_.values(0))
            unreadable.append(call.where);
        QVERIFY2(unreadable.isEmpty(), qPrintable(unreadable.join(QStringLiteral(", "))));
        QVERIFY2(calls_.uniqueKeys().size() > 20, "the scan found almost no events");
    }

    void eventExplained_data() {
        QTest::addColumn<qint32>("id");
        for (const qint32 id : calls_.uniqueKeys())
            QTest::newRow(qPrintable(QString::number(id))) << id;
    }
    void eventExplained() {
        QFETCH(qint32, id);
        const QStringList cells = EventTable::Row(errors_, id);
        QVERIFY2(cells.size() == 4, "errors.htp has no row of four cells for it");
        for (const Call& call : calls_.values(id)) {
            QVERIFY2(cells[1] == call.type,
                     qPrintable(call.where + QStringLiteral(" writes ") + call.type));
            QVERIFY2(cells[2].contains(call.words),
                     qPrintable(call.where + QStringLiteral(": not quoted: ") + call.words));
        }
        QVERIFY2(cells[3].split(u' ', Qt::SkipEmptyParts).size() >= 15,
                 "explained in too few words");
    }

    void noEventWithoutWriter() {
        QStringList stale;
        for (const qint32 id : EventTable::Ids(errors_))
            if (!calls_.contains(id))
                stale.append(QString::number(id));
        QVERIFY2(stale.isEmpty(), qPrintable(stale.join(QStringLiteral(", "))));
    }

    // Each file the viewer downloads is there, the contents page links it, and its links
    // stay within those files.
    void helpFile_data() {
        QTest::addColumn<QString>("name");
        for (const QString& name : modHelp::HelpFiles)
            QTest::newRow(qPrintable(name)) << name;
    }
    void helpFile() {
        QFETCH(QString, name);
        QVERIFY2(QFileInfo::exists(helpPath(name)), qPrintable(helpPath(name)));
        const QStringList fromContents = links(readText(helpPath(QStringLiteral("contents.htp"))));
        QVERIFY(name == u"contents.htp" ||
                std::any_of(fromContents.begin(), fromContents.end(),
                            [&](const QString& link) { return link.section(u'#', 0, 0) == name; }));
        for (const QString& link : links(readText(helpPath(name)))) {
            if (link.startsWith(u"mailto:"))
                continue; // help works offline: only a mail address leaves the folder
            const QString file = link.section(u'#', 0, 0);
            const QString fragment = link.section(u'#', 1);
            const QString target = file.isEmpty() ? name : file;
            QVERIFY2(modHelp::HelpFiles.contains(target), qPrintable(link));
            QVERIFY2(fragment.isEmpty() ||
                         readText(helpPath(target))
                             .contains(QStringLiteral("<a name=\"%1\">").arg(fragment)),
                     qPrintable(link));
        }
    }
};

QTEST_GUILESS_MAIN(TestHelpPages)
#include "tst_helppages.moc"
