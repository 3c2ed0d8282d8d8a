#pragma once

// A certificate authority of the test's own, made with openssl while the test runs, and
// server certificates it signs: trusted only where its certificate is named.

#include <QString>
#include <QStringList>

class TestCertificates {
public:
    // Writes the authority into folder; see error().
    explicit TestCertificates(QString folder);

    // The authority's certificate (PEM), to trust through HOLLIMERE_CA_FILE.
    [[nodiscard]] QString authority() const { return folder_ + QStringLiteral("/ca.pem"); }
    // Signs name.pem and name.key for the alternative names ("IP:127.0.0.2", "DNS:x.example").
    [[nodiscard]] bool issue(const QString& name, const QStringList& altNames);
    [[nodiscard]] QString certificate(const QString& name) const {
        return folder_ + u'/' + name + QStringLiteral(".pem");
    }
    [[nodiscard]] QString key(const QString& name) const {
        return folder_ + u'/' + name + QStringLiteral(".key");
    }
    // What openssl said when it last failed, or empty.
    [[nodiscard]] QString error() const { return error_; }

private:
    bool openssl(const QStringList& arguments);

    QString folder_;
    QString error_;
};
