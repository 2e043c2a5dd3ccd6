#include "support/TestCertificates.h"

#include <QFile>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace {

using TKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using TCert = std::unique_ptr<X509, decltype(&X509_free)>;

void Check(bool ok, const char *what) {
    if (!ok) {
        throw std::runtime_error(std::string("test certificates: ") + what);
    }
}

TKey MakeKey() {
    TKey key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    Check(key != nullptr, "key");
    return key;
}

void AddExtension(X509 *cert, X509 *issuer, int nid, const char *value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    Check(extension != nullptr && X509_add_ext(cert, extension, -1) == 1, "extension");
    X509_EXTENSION_free(extension);
}

struct TCertRequest {
    const char *CommonName;
    const char *AltNames; // nullptr for the CA
    long NotBeforeDays;
    long NotAfterDays;
};

// Signs with issuerKey; issuer nullptr: self-signed.
TCert MakeCert(const TCertRequest &request, EVP_PKEY *key, X509 *issuer, EVP_PKEY *issuerKey) {
    static long serial = 1;
    TCert cert(X509_new(), &X509_free);
    Check(cert != nullptr, "certificate");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), request.NotBeforeDays * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), request.NotAfterDays * 86400);
    X509_set_pubkey(cert.get(), key);
    X509_NAME *name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char *>(request.CommonName), -1, -1,
                               0);
    X509 *signer = issuer != nullptr ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    if (request.AltNames == nullptr) {
        AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        AddExtension(cert.get(), signer, NID_subject_alt_name, request.AltNames);
        AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
    }
    AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    Check(X509_sign(cert.get(), issuerKey != nullptr ? issuerKey : key, EVP_sha256()) > 0, "sign");
    return cert;
}

void WriteCert(const QString &path, X509 *cert) {
    BIO *bio = BIO_new_file(QFile::encodeName(path).constData(), "w");
    Check(bio != nullptr && PEM_write_bio_X509(bio, cert) == 1, "write certificate");
    BIO_free(bio);
}

void WriteKey(const QString &path, EVP_PKEY *key) {
    BIO *bio = BIO_new_file(QFile::encodeName(path).constData(), "w");
    Check(bio != nullptr &&
              PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "write key");
    BIO_free(bio);
}

} // namespace

TTestCertificates::TTestCertificates() {
    Check(FDir.isValid(), "temporary folder");
    const QString dir = FDir.path() + u'/';
    const char *localNames = "IP:127.0.0.1,DNS:localhost";

    TKey caKey = MakeKey();
    TCert ca = MakeCert({"Sonavik Test CA", nullptr, -1, 30}, caKey.get(), nullptr, nullptr);
    FCaFile = dir + QStringLiteral("ca.pem");
    WriteCert(FCaFile, ca.get());

    const auto issue = [&](const char *file, const TCertRequest &request, bool selfSigned) {
        TKey key = MakeKey();
        TCert cert = selfSigned ? MakeCert(request, key.get(), nullptr, nullptr)
                                : MakeCert(request, key.get(), ca.get(), caKey.get());
        TCertificateFiles files{dir + QLatin1String(file) + QStringLiteral(".pem"),
                                dir + QLatin1String(file) + QStringLiteral(".key")};
        WriteCert(files.CertFile, cert.get());
        WriteKey(files.KeyFile, key.get());
        return files;
    };
    FLocalhost = issue("localhost", {"localhost", localNames, -1, 30}, false);
    FOtherHost = issue("other", {"other.example", "DNS:other.example", -1, 30}, false);
    FExpired = issue("expired", {"localhost", localNames, -30, -1}, false);
    FSelfSigned = issue("selfsigned", {"localhost", localNames, -1, 30}, true);
}
