// Writes the journal's message catalogue from the help's event list, so that
// `journalctl -x` explains each event with the words of the help.
//
// make_catalog ERRORS.HTP OUTPUT

#include "EventLog.h"
#include "EventTable.h"
#include "ServiceName.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {

// Lines of at most `width` characters, broken between words.
QString wrapped(const QString& text, int width = 76) {
    QString out;
    qsizetype lineLength = 0;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (lineLength > 0 && lineLength + 1 + word.size() > width) {
            out += u'\n';
            lineLength = 0;
        } else if (lineLength > 0) {
            out += u' ';
            ++lineLength;
        }
        out += word;
        lineLength += word.size();
    }
    return out;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: make_catalog ERRORS.HTP OUTPUT\n");
        return 2;
    }
    QFile source(args[1]);
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(args[1]), qPrintable(source.errorString()));
        return 1;
    }
    const QString html = QString::fromUtf8(source.readAll());

    QString catalogue =
        QStringLiteral("# The events of hollisvc, made from the help page errors.htp.\n");
    const QList<qint32> ids = EventTable::Ids(html);
    for (qint32 id : ids) {
        const QStringList cells = EventTable::Row(html, id);
        if (cells.size() != 4) {
            std::fprintf(stderr, "%s: event %d has no row of four cells\n", qPrintable(args[1]),
                         id);
            return 1;
        }
        catalogue += QStringLiteral("\n-- %1\n"
                                    "Subject: Hollimere event %2 (%3): %4\n"
                                    "Defined-By: Hollimere\n"
                                    "Documentation: man:hollisvc(8)\n"
                                    "\n"
                                    "%5\n"
                                    "\n"
                                    "All events of the service: journalctl -t %6\n")
                         .arg(QString::fromLatin1(EventLog::MessageId(id)), cells[0], cells[1],
                              cells[2], wrapped(cells[3]), QLatin1String(ServiceName));
    }
    if (ids.isEmpty()) {
        std::fprintf(stderr, "%s: no events found\n", qPrintable(args[1]));
        return 1;
    }
    QSaveFile out(args[2]);
    if (!out.open(QIODevice::WriteOnly) || out.write(catalogue.toUtf8()) < 0 || !out.commit()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(args[2]), qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
