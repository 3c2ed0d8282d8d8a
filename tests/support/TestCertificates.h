#pragma once

// A certificate authority of the test's own, made with openssl while the test runs, and
// server certificates it signs: trusted only where its certificate is named.

#include <QDir>
#include <QProcess>

class TestCertificates {
public:
    // Writes the authority into folder; see error().
    explicit TestCertificates(const QString& folder) : folder_(folder) {
        QDir().mkpath(folder_);
        (void)openssl(QStringLiteral("ca"), {QStringLiteral("-addext"),
                                             QStringLiteral("basicConstraints=critical,CA:TRUE")});
    }

    // The authority's certificate (PEM), to trust through HOLLIMERE_CA_FILE.
    [[nodiscard]] QString authority() const { return certificate(QStringLiteral("ca")); }
    // Signs name.pem and name.key for the alternative names ("IP:127.0.0.2", "DNS:x.example").
    [[nodiscard]] bool issue(const QString& name, const QStringList& altNames) {
        return openssl(name,
                       {QStringLiteral("-CA"), authority(), QStringLiteral("-CAkey"),
                        key(QStringLiteral("ca")), QStringLiteral("-addext"),
                        QStringLiteral("subjectAltName=") + altNames.join(u','),
                        QStringLiteral("-addext"), QStringLiteral("basicConstraints=CA:FALSE"),
                        QStringLiteral("-addext"), QStringLiteral("extendedKeyUsage=serverAuth")});
    }
    [[nodiscard]] QString certificate(const QString& name) const {
        return folder_ + u'/' + name + QStringLiteral(".pem");
    }
    [[nodiscard]] QString key(const QString& name) const {
        return folder_ + u'/' + name + QStringLiteral(".key");
    }
    // What openssl said when it last failed, or empty.
    [[nodiscard]] QString error() const { return error_; }

private:
    bool openssl(const QString& name, const QStringList& extra) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("openssl"),
                QString::fromLatin1("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                                    "-nodes -days 2 -subj")
                        .split(u' ') +
                    QStringList{QStringLiteral("/CN=") + name, QStringLiteral("-keyout"), key(name),
                                QStringLiteral("-out"), certificate(name)} +
                    extra);
        if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return true;
        error_ =
            QStringLiteral("openssl: ") + QString::fromLocal8Bit(p.readAll()) + p.errorString();
        return false;
    }

    QString folder_;
    QString error_;
};
