// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/LoginService.h"

#include "console/QXRSA_Encode.h"
#include "platform/SettingsStore.h"

#include <QHostAddress>
#include <QUrl>

namespace {

std::optional<int32_t> Whole(const QString& typed)
{
    bool ok = false;
    const int32_t value = typed.trimmed().toInt(&ok);
    return ok ? std::optional<int32_t>(value) : std::nullopt;
}

} // namespace

QString KeyPair::toString() const
{
    return QString::number(exponent) + u',' + QString::number(modulus);
}

std::optional<KeyPair> KeyPair::parse(const QString& text, QString* error)
{
    const QStringList parts = text.split(u',');
    QString problem;
    if (parts.size() != 2)
        problem = QStringLiteral("write the pair as exponent,modulus");
    else if (problem = ExponentProblem(parts.at(0)); problem.isEmpty())
        problem = ModulusProblem(parts.at(1));
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return std::nullopt;
    }
    return KeyPair{*Whole(parts.at(0)), *Whole(parts.at(1))};
}

QString ExponentProblem(const QString& typed)
{
    const auto value = Whole(typed);
    if (typed.trimmed().isEmpty())
        return QStringLiteral("The exponent is missing.");
    if (!value)
        return QStringLiteral("The exponent \"%1\" is not a whole number.").arg(typed.trimmed());
    if (*value < 1)
        return QStringLiteral("The exponent must be 1 or more.");
    return {};
}

QString ModulusProblem(const QString& typed)
{
    const auto value = Whole(typed);
    if (typed.trimmed().isEmpty())
        return QStringLiteral("The modulus is missing.");
    if (!value)
        return QStringLiteral("The modulus \"%1\" is not a whole number.").arg(typed.trimmed());
    if (*value < KeyPair::kMinModulus || *value > KeyPair::kMaxModulus)
        return QStringLiteral("The modulus must be between %1 and %2.")
            .arg(KeyPair::kMinModulus)
            .arg(KeyPair::kMaxModulus);
    return {};
}

LoginService LoginService::Load(const platform::SettingsStore& store)
{
    LoginService service;
    service.baseCipher_ = store.GetSetting(QString::fromLatin1(kBaseKey), QString()).trimmed();
    for (int i = 0; i < kPairs; ++i) {
        if (const auto pair = KeyPair::parse(store.GetSetting(QString::fromLatin1(kPairKeys[i]), QString())))
            service.pairs_[i] = *pair;
    }
    return service;
}

bool LoginService::Save(platform::SettingsStore& store) const
{
    bool ok = store.SaveSetting(QString::fromLatin1(kBaseKey), baseCipher_);
    for (int i = 0; i < kPairs; ++i)
        ok = store.SaveSetting(QString::fromLatin1(kPairKeys[i]), pairs_[i].valid() ? pairs_[i].toString() : QString())
             && ok;
    return ok;
}

QString LoginService::base() const
{
    return Decode(baseCipher_, kStorageDecipher.exponent, kStorageDecipher.modulus);
}

void LoginService::setBase(const QString& plain)
{
    QString base = plain.trimmed();
    if (!base.isEmpty() && !base.endsWith(u'/'))
        base += u'/';
    baseCipher_ = Encode(base, kStorageCipher.exponent, kStorageCipher.modulus).replace(u'-', u'+');
}

bool LoginService::isConfigured() const
{
    if (base().isEmpty())
        return false;
    for (int i = 0; i < kPairs; ++i) {
        if (i != Call && !pairs_[i].valid())
            return false;
    }
    return true;
}

QString BaseProblem(const QString& base)
{
    const QString typed = base.trimmed();
    if (typed.isEmpty())
        return QStringLiteral("The service address is missing.");
    for (QChar c : typed) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7E)
            return QStringLiteral("The service address may hold only plain ASCII letters, digits and signs.");
    }
    const QUrl url(typed, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty())
        return QStringLiteral("The service address must start with https:// or http:// and name a host, "
                              "like https://example.org/korvalen/.");
    if (url.hasQuery() || url.hasFragment())
        return QStringLiteral("The service address ends before the script name: leave out \"?\" and \"#\".");
    return {};
}

bool needsPlainHttpWarning(const QString& base)
{
    const QUrl url(base.trimmed());
    if (url.scheme().toLower() != u"http")
        return false;
    const QString host = url.host().toLower();
    if (host == u"localhost" || host.endsWith(u".localhost"))
        return false;
    const QHostAddress address(host);
    return address.isNull() || !address.isLoopback();
}
