#include "TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>

TestCertificates::TestCertificates(QString folder) : folder_(std::move(folder)) {
    QDir().mkpath(folder_);
    (void)openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-keyout"), folder_ + QStringLiteral("/ca.key"),
                   QStringLiteral("-out"), authority(), QStringLiteral("-days"),
                   QStringLiteral("2"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=Hollimere Test Authority"), QStringLiteral("-addext"),
                   QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                   QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")});
}

bool TestCertificates::issue(const QString& name, const QStringList& altNames) {
    const QString request = folder_ + u'/' + name + QStringLiteral(".csr");
    const QString extensions = folder_ + u'/' + name + QStringLiteral(".ext");
    QFile ext(extensions);
    if (!ext.open(QIODevice::WriteOnly) ||
        ext.write("subjectAltName=" + altNames.join(u',').toUtf8() +
                  "\nextendedKeyUsage=serverAuth\n") < 0)
        return false;
    ext.close();
    return openssl({QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                    QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                    QStringLiteral("-nodes"), QStringLiteral("-keyout"), key(name),
                    QStringLiteral("-out"), request, QStringLiteral("-subj"),
                    QStringLiteral("/CN=") + name}) &&
           openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request,
                    QStringLiteral("-CA"), authority(), QStringLiteral("-CAkey"),
                    folder_ + QStringLiteral("/ca.key"), QStringLiteral("-CAcreateserial"),
                    QStringLiteral("-out"), certificate(name), QStringLiteral("-days"),
                    QStringLiteral("2"), QStringLiteral("-extfile"), extensions});
}

bool TestCertificates::openssl(const QStringList& arguments) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), arguments);
    if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    error_ = QStringLiteral("openssl ") + arguments.first() + QStringLiteral(": ") +
             QString::fromLocal8Bit(p.readAll()) + p.errorString();
    return false;
}
