// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

class QSslSocket;

// How a mail connection is protected.
enum class MailSecurity {
    None, // plain text, as profiles made before TLS
    StartTls, // plain connection, then STLS / STARTTLS before anything else is said
    Tls, // TLS from the first byte
};

// The stored spelling ("none", "starttls", "tls"); anything else reads as fallback.
MailSecurity MailSecurityFromText(const QString& text, MailSecurity fallback);
QString MailSecurityText(MailSecurity security);

// The decision on a server's certificate, shared by the POP3 and SMTP clients. A certificate
// is good when the system's CAs vouch for it and it names the host; otherwise only when its
// SHA-256 fingerprint is the one the user chose to trust for this server. A refusal is
// described in words, with the fingerprint the user may then trust.
class CertificateTrust
{
public:
    // The fingerprint the user trusts for this server, in any spelling FingerprintText reads;
    // empty when none.
    void setTrusted(const QString& fingerprint) { trusted_ = NormalizedFingerprint(fingerprint); }
    QString trusted() const { return trusted_; }

    // Readies a socket for the handshake with host: the name checked is the one connected to.
    static void prepare(QSslSocket& socket, const QString& host);
    // Called with the socket's sslErrors: true when the certificate is to be accepted anyway
    // (the caller then ignores exactly these errors); false leaves refusal() and fingerprint().
    bool accept(const QString& host, const QList<QSslError>& errors, const QSslCertificate& certificate);

    // Why the last certificate was refused, in words, with its fingerprint; empty when none.
    QString refusal() const { return refusal_; }
    // The refused certificate's fingerprint, "AB:CD:..." (64 hex digits).
    QString fingerprint() const { return fingerprint_; }

    static QString Fingerprint(const QSslCertificate& certificate);
    // "ab cd", "abcd", "AB:CD" all read as "AB:CD"; empty when it is not 32 bytes of hex.
    static QString NormalizedFingerprint(const QString& text);

private:
    QString trusted_;
    QString refusal_;
    QString fingerprint_;
};
