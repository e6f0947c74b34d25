// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <memory>

class QTemporaryDir;

// Certificates made with openssl on the fly, once per test program: a test CA, and server
// certificates for 127.0.0.1 signed by it, self-signed, and for another host. Files and
// loaded forms both, for in-process servers and for Dovecot and the SMTP sink.
class TestCertificates
{
public:
    struct Identity
    {
        QString certFile;
        QString keyFile;
        QSslCertificate certificate;
        QSslKey key;
    };

    // Throws std::runtime_error when openssl is missing or fails.
    static const TestCertificates& instance();
    // Makes the test CA one the system trusts, for this process: what a real provider's CA is.
    static void trustTestCa();

    QSslCertificate ca() const { return ca_; }
    const Identity& good() const { return good_; } // 127.0.0.1 and localhost, by the test CA
    const Identity& selfSigned() const { return selfSigned_; } // 127.0.0.1, its own issuer
    const Identity& otherHost() const { return otherHost_; } // mail.other.example, by the test CA

    ~TestCertificates();

private:
    TestCertificates();
    Identity make(const QString& name, const QString& subjectNames, bool byCa);

    std::unique_ptr<QTemporaryDir> dir_;
    QSslCertificate ca_;
    Identity good_;
    Identity selfSigned_;
    Identity otherHost_;
};
