#include "EventTable.h"
#include "TestFiles.h"
#include "modHelp.h"

#include <QDirIterator>
#include <QFile>
#include <QMultiMap>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString helpPath(const QString& name) {
    return QDir(QStringLiteral(HOLLIMERE_HELP_DIR)).filePath(name);
}

QString readText(const QString& path) {
    return QString::fromUtf8(ReadFile(path));
}

// Every href and src of a page.
QStringList links(const QString& html) {
    static const QRegularExpression link(u"\\b(?:href|src)\\s*=\\s*\"([^\"]*)\""_s,
                                         QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    for (const auto& m : link.globalMatch(html))
        out.append(m.captured(1));
    return out;
}

// Where (file:line), the type as the help names it ("error", ...), and the first fixed words
// of the text, up to a placeholder.
struct Call {
    QString where, type, words;
};

// Every event-log call in the sources, by ID; one whose type, ID or words cannot be read
// from the source is listed under ID 0.
QMultiMap<qint32, Call> eventCalls() {
    static const QRegularExpression call(uR"(\bLogEvent\((?!int )(.*?)\);)"_s,
                                         QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression parts(uR"(^\s*EventLog::(\w+),([^,]*),(.*)$)"_s,
                                          QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression literal(uR"re("((?:[^"\\]|\\.)*)")re"_s);
    QMultiMap<qint32, Call> out;
    QDirIterator files(QStringLiteral(HOLLIMERE_SOURCE_DIR), {u"*.cpp"_s}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString text = readText(path);
        for (const auto& m : call.globalMatch(text)) {
            const auto p = parts.match(m.captured(1));
            const int line = int(text.left(m.capturedStart()).count(u'\n')) + 1;
            Call found{path + u':' + QString::number(line), p.captured(1).toLower(), QString()};
            QList<qint32> ids;
            for (const auto& n : QRegularExpression(uR"(\b\d+\b)"_s).globalMatch(p.captured(2)))
                ids.append(n.captured().toInt());
            for (const auto& l : literal.globalMatch(p.captured(3))) {
                found.words = l.captured(1)
                                  .replace(u"\\\""_s, u"\""_s)
                                  .section(QRegularExpression(u"%\\d"_s), 0, 0)
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
    QString errors_ = readText(helpPath(u"errors.htp"_s));

private slots:
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
            QVERIFY2(cells[1] == call.type, qPrintable(call.where + u" writes "_s + call.type));
            QVERIFY2(cells[2].contains(call.words),
                     qPrintable(call.where + u": not quoted: "_s + call.words));
        }
        QVERIFY2(cells[3].split(u' ', Qt::SkipEmptyParts).size() >= 15,
                 "explained in too few words");
    }

    // Every call the scan reads, and every row of the help written by one.
    void noEventWithoutWriter() {
        QStringList wrong;
        for (const Call& call : calls_.values(0))
            wrong.append(call.where);
        for (const qint32 id : EventTable::Ids(errors_))
            if (!calls_.contains(id))
                wrong.append(QString::number(id));
        QVERIFY2(wrong.isEmpty() && calls_.uniqueKeys().size() > 20, qPrintable(wrong.join(u", ")));
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
        const QStringList fromContents = links(readText(helpPath(u"contents.htp"_s)));
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
                         readText(helpPath(target)).contains(u"<a name=\"%1\">"_s.arg(fragment)),
                     qPrintable(link));
        }
    }
};

QTEST_GUILESS_MAIN(TestHelpPages)
#include "tst_helppages.moc"
