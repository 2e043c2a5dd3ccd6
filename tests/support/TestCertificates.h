// TestCertificates: a test CA and server certificates made at test time with the
// OpenSSL API (EC P-256 keys, PEM files in a private temporary folder): one for
// 127.0.0.1 and localhost, one for another host name, one expired and one
// self-signed. Trust the CA through SSL_CERT_FILE=CaFile(). Main test thread.
#pragma once

#include <QString>
#include <QTemporaryDir>

struct TCertificateFiles {
    QString CertFile;
    QString KeyFile;
};

class TTestCertificates final {
public:
    TTestCertificates();

    [[nodiscard]] QString CaFile() const { return FCaFile; }
    [[nodiscard]] const TCertificateFiles &Localhost() const { return FLocalhost; }
    [[nodiscard]] const TCertificateFiles &OtherHost() const { return FOtherHost; }
    [[nodiscard]] const TCertificateFiles &Expired() const { return FExpired; }
    [[nodiscard]] const TCertificateFiles &SelfSigned() const { return FSelfSigned; }

private:
    QTemporaryDir FDir;
    QString FCaFile;
    TCertificateFiles FLocalhost;
    TCertificateFiles FOtherHost;
    TCertificateFiles FExpired;
    TCertificateFiles FSelfSigned;
};
