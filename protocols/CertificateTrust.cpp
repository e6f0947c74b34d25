// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/CertificateTrust.h"

#include <QCryptographicHash>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QStringList>

MailSecurity MailSecurityFromText(const QString& text, MailSecurity fallback)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("none"))
        return MailSecurity::None;
    if (t == QLatin1String("starttls"))
        return MailSecurity::StartTls;
    if (t == QLatin1String("tls"))
        return MailSecurity::Tls;
    return fallback;
}

QString MailSecurityText(MailSecurity security)
{
    switch (security) {
    case MailSecurity::StartTls: return QStringLiteral("starttls");
    case MailSecurity::Tls: return QStringLiteral("tls");
    case MailSecurity::None: break;
    }
    return QStringLiteral("none");
}

namespace {

// One reason per kind of fault, in the words a user can act on.
QString reason(const QSslError& error, const QSslCertificate& certificate, const QString& host)
{
    switch (error.error()) {
    case QSslError::CertificateExpired:
        return QStringLiteral("it expired on %1").arg(certificate.expiryDate().toString(Qt::ISODate));
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("it is not valid before %1").arg(certificate.effectiveDate().toString(Qt::ISODate));
    case QSslError::HostNameMismatch: {
        QStringList names = certificate.subjectAlternativeNames().values(QSsl::DnsEntry);
        names += certificate.subjectAlternativeNames().values(QSsl::IpAddressEntry);
        if (names.isEmpty())
            names = certificate.subjectInfo(QSslCertificate::CommonName);
        return QStringLiteral("it is for another host (%1), not %2").arg(names.join(QStringLiteral(", ")), host);
    }
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain: return QStringLiteral("it is self-signed");
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted: return QStringLiteral("its issuer is unknown");
    case QSslError::CertificateRevoked: return QStringLiteral("it was revoked");
    case QSslError::NoPeerCertificate: return QStringLiteral("the server showed none");
    default: return error.errorString();
    }
}

} // namespace

void CertificateTrust::prepare(QSslSocket& socket, const QString& host)
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration(); // the system's CAs
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    socket.setSslConfiguration(config);
    socket.setPeerVerifyName(host);
}

bool CertificateTrust::accept(const QString& host, const QList<QSslError>& errors, const QSslCertificate& certificate)
{
    refusal_.clear();
    fingerprint_ = certificate.isNull() ? QString() : Fingerprint(certificate);
    if (errors.isEmpty())
        return true;
    // Trust by fingerprint covers what a fingerprint can vouch for, nothing else.
    if (!fingerprint_.isEmpty() && fingerprint_ == trusted_)
        return true;

    QStringList reasons;
    for (const QSslError& e : errors) {
        const QString r = reason(e, certificate, host);
        if (!reasons.contains(r))
            reasons.append(r);
    }
    refusal_ =
        QStringLiteral("The certificate of %1 is not trusted: %2.").arg(host, reasons.join(QStringLiteral("; ")));
    if (!trusted_.isEmpty())
        refusal_ += QStringLiteral(" It changed since you trusted the one with fingerprint %1.").arg(trusted_);
    if (!fingerprint_.isEmpty())
        refusal_ += QStringLiteral(" SHA-256 fingerprint %1. Trust it only if the server's operator confirms "
                                   "this fingerprint.")
                        .arg(fingerprint_);
    return false;
}

QString CertificateTrust::Fingerprint(const QSslCertificate& certificate)
{
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

QString CertificateTrust::NormalizedFingerprint(const QString& text)
{
    QByteArray hex;
    for (const QChar c : text) {
        if (c == QLatin1Char(':') || c == QLatin1Char(' ') || c == QLatin1Char('-'))
            continue;
        const char16_t u = c.toLower().unicode();
        if (!(u >= u'0' && u <= u'9') && !(u >= u'a' && u <= u'f'))
            return QString();
        hex += char(c.toUpper().unicode());
    }
    if (hex.size() != 64)
        return QString();
    return QString::fromLatin1(QByteArray::fromHex(hex).toHex(':').toUpper());
}
