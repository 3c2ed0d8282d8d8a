// The demo: loopback POP3 and SMTP servers with sample mail, a data file for them, one
// `hollisvc -query`, and what the service logged and delivered. Needs no outside server.

#include "FileMod.h"
#include "LoopbackSite.h"
#include "Pop3Mailbox.h"
#include "SmtpSink.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

const QList<QByteArray> SalesMail = {
    "From: Ann Archer <ann@customer.example>\r\n"
    "To: Sales <sales@isp.example>\r\n"
    "Subject: Order for two boxes\r\n"
    "\r\n"
    "Please send two boxes of the usual.\r\n",
    "From: Carl <carl@supplier.example>\r\n"
    "To: sales@isp.example\r\n"
    "Subject: Delivery date\r\n"
    "\r\n"
    "The parts leave on Monday.\r\n"
    ".and this line starts with a dot\r\n",
};

const QList<QByteArray> ArchiveMail = {
    "From: <reports@partner.example>\r\n"
    "To: <arch@isp.example>\r\n"
    "Subject: Monthly report\r\n"
    "\r\n"
    "Kept on the POP3 server: this account keeps its mail there.\r\n",
};

const QList<QByteArray> DomainMail = {
    "From: \"Dora D.\" <dora@partner.example>\r\n"
    "To: Jo <jo@isp.example>, Kim <kim@ISP.example>\r\n"
    "Cc: Someone Else <else@elsewhere.example>\r\n"
    "Subject: Meeting\r\n"
    "\r\n"
    "Thursday at ten?\r\n",
    "From: <news@lists.example>\r\n"
    "To: <nobody@elsewhere.example>\r\n"
    "Subject: A message for no local mailbox\r\n"
    "\r\n"
    "It goes to the post master.\r\n",
};

void print(const QString& text) {
    std::fputs(qPrintable(text + u'\n'), stdout);
    std::fflush(stdout);
}

QString firstLine(const QByteArray& data, const QByteArray& header) {
    for (const QByteArray& line : data.split('\n'))
        if (line.startsWith(header))
            return QString::fromLatin1(line.trimmed());
    return {};
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: hollimere_demo PATH-OF-HOLLISVC\n", stderr);
        return 2;
    }
    QTemporaryDir dir;
    Pop3Mailbox pop;
    SmtpSink smtp;
    if (!dir.isValid() || !pop.listening() || !smtp.listening()) {
        std::fputs("cannot set up the demo servers\n", stderr);
        return 1;
    }
    pop.addMailbox("sales", "pw1", SalesMail);
    pop.addMailbox("catchall", "pw2", DomainMail);
    pop.addMailbox("archive", "pw3", ArchiveMail);

    if (const auto saved = FileMod::SaveData(LoopbackSite(pop.port(), smtp.port(), 30),
                                             FileMod::DataFilePath(dir.path()));
        !saved) {
        std::fputs(qPrintable(saved.error + u'\n'), stderr);
        return 1;
    }
    print(QStringLiteral("POP3 server on 127.0.0.1:%1: \"sales\" holds %2 messages (single-user, "
                         "for sales@example.org), \"catchall\" holds %3 (Global ISP Mail Host for "
                         "isp.example), \"archive\" holds %4 (single-user, Keep Mail on Host)")
              .arg(pop.port())
              .arg(SalesMail.size())
              .arg(DomainMail.size())
              .arg(ArchiveMail.size()));
    print(QStringLiteral("SMTP server on 127.0.0.1:%1; data file %2")
              .arg(smtp.port())
              .arg(FileMod::DataFilePath(dir.path())));
    print(QStringLiteral("\n$ hollisvc -query"));

    const QString events = dir.filePath(QStringLiteral("events.log"));
    QProcess svc;
    svc.setProcessEnvironment(HollisvcEnvironment(dir.path(), events, 1000));
    svc.setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(&svc, &QProcess::finished, &app, &QCoreApplication::quit);
    QObject::connect(&svc, &QProcess::errorOccurred, &app, [&app] { app.exit(1); });
    // The servers answer from this event loop while the service runs.
    QTimer::singleShot(120000, &app, [&svc] { svc.kill(); });
    svc.start(QString::fromLocal8Bit(argv[1]), {QStringLiteral("-query")});
    app.exec();

    print(QStringLiteral("\nEvent log (type, id, text):"));
    QFile log(events);
    if (log.open(QIODevice::ReadOnly))
        for (const QByteArray& line : log.readAll().split('\n'))
            if (!line.isEmpty())
                print(QStringLiteral("  ") + QString::fromUtf8(line).section(u'\t', 1));

    print(QStringLiteral("\nDelivered to the SMTP server:"));
    for (const Delivery& d : smtp.deliveries())
        print(QStringLiteral("  from %1 to %2: %3")
                  .arg(QString::fromLatin1(d.sender), QString::fromLatin1(d.recipients.join(", ")),
                       firstLine(d.data, "Subject:")));
    print(QStringLiteral("\nLeft on the POP3 server: sales %1, catchall %2, archive %3")
              .arg(pop.messages("sales").size())
              .arg(pop.messages("catchall").size())
              .arg(pop.messages("archive").size()));
    const bool ok =
        svc.exitStatus() == QProcess::NormalExit && svc.exitCode() == 0 &&
        smtp.deliveries().size() == SalesMail.size() + DomainMail.size() + ArchiveMail.size();
    return ok ? 0 : 1;
}
