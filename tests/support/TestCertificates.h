#pragma once

// A certificate authority of the test's own, made by openssl, and server certificates.

#include <QDir>
#include <QProcess>

class TestCertificates {
public:
    explicit TestCertificates(const QString& folder) : folder_(folder) {
        QDir().mkpath(folder_);
        (void)openssl("ca", Words("-addext basicConstraints=critical,CA:TRUE"));
    }
    // The authority's certificate (PEM), to trust through HOLLIMERE_CA_FILE.
    [[nodiscard]] QString authority() const { return certificate("ca"); }
    // Signs name.pem and name.key for the alternative names ("IP:127.0.0.2", "DNS:x.example").
    [[nodiscard]] bool issue(const QString& name, const QStringList& altNames) {
        return openssl(name, Words("-addext basicConstraints=CA:FALSE -addext "
                                   "extendedKeyUsage=serverAuth -addext subjectAltName=" +
                                   altNames.join(',')) +
                                 QStringList{"-CA", authority(), "-CAkey", key("ca")});
    }
    [[nodiscard]] QString certificate(const QString& name) const {
        return folder_ + '/' + name + ".pem";
    }
    [[nodiscard]] QString key(const QString& name) const { return folder_ + '/' + name + ".key"; }
    [[nodiscard]] QString error() const { return error_; }

private:
    // Arguments without blanks written as one line; paths, which may hold blanks, go apart.
    static QStringList Words(const QString& line) { return line.split(' '); }
    bool openssl(const QString& name, const QStringList& more) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start("openssl",
                Words("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2") +
                    more +
                    QStringList{"-subj", "/CN=" + name, "-keyout", key(name), "-out",
                                certificate(name)});
        if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return true;
        error_ = "openssl: " + QString::fromLocal8Bit(p.readAll()) + p.errorString();
        return false;
    }

    QString folder_;
    QString error_;
};
