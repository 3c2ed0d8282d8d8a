#include "TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

// Arguments without blanks of their own, written as one line.
QStringList Words(const char* line) {
    return QString::fromLatin1(line).split(u' ');
}

} // namespace

TestCertificates::TestCertificates(QString folder) : folder_(std::move(folder)) {
    QDir().mkpath(folder_);
    (void)openssl(Words("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
                        "-addext basicConstraints=critical,CA:TRUE "
                        "-addext keyUsage=critical,keyCertSign,cRLSign -subj")
                  << QStringLiteral("/CN=Hollimere Test Authority") << QStringLiteral("-keyout")
                  << folder_ + QStringLiteral("/ca.key") << QStringLiteral("-out") << authority());
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
    return openssl(Words("req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout")
                   << key(name) << QStringLiteral("-out") << request << QStringLiteral("-subj")
                   << QStringLiteral("/CN=") + name) &&
           openssl(Words("x509 -req -CAcreateserial -days 2 -CAkey")
                   << folder_ + QStringLiteral("/ca.key") << QStringLiteral("-CA") << authority()
                   << QStringLiteral("-in") << request << QStringLiteral("-out")
                   << certificate(name) << QStringLiteral("-extfile") << extensions);
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
