// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/ServiceKeys.h"

#include <QList>
#include <QRandomGenerator>
#include <numeric>

namespace {

constexpr int32_t kMaxModulus = 46340; // products of two residues must fit in 32 bits
constexpr int32_t kMinModulus = 10007; // five digits, and far above the 256 character codes

bool IsPrime(int32_t n)
{
    if (n < 2)
        return false;
    for (int32_t d = 2; d * d <= n; ++d) {
        if (n % d == 0)
            return false;
    }
    return true;
}

int64_t Inverse(int64_t a, int64_t m)
{
    int64_t r0 = m, r1 = a % m, t0 = 0, t1 = 1;
    while (r1 != 0) {
        const int64_t q = r0 / r1;
        std::tie(r0, r1) = std::make_pair(r1, r0 - q * r1);
        std::tie(t0, t1) = std::make_pair(t1, t0 - q * t1);
    }
    return r0 == 1 ? (t0 % m + m) % m : 0;
}

} // namespace

std::optional<ServiceKeys> ServiceKeys::read(const QByteArray& text, QString* error)
{
    ServiceKeys result;
    std::array<bool, kPairs> seen{};
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const auto problem = [&](const QString& what) {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(i + 1).arg(what);
            return std::nullopt;
        };
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            return problem(QStringLiteral("expected name = exponent,modulus"));
        const QByteArray name = line.left(eq).trimmed().toLower();
        const QList<QByteArray> numbers = line.mid(eq + 1).split(',');
        int which = -1;
        for (int k = 0; k < kPairs; ++k) {
            if (name == kNames[k])
                which = k;
        }
        if (which < 0)
            return problem(QStringLiteral("unknown key \"%1\"").arg(QString::fromLatin1(name)));
        bool okE = false, okN = false;
        const int32_t e = numbers.size() == 2 ? numbers.at(0).trimmed().toInt(&okE) : 0;
        const int32_t n = numbers.size() == 2 ? numbers.at(1).trimmed().toInt(&okN) : 0;
        if (!okE || !okN || e < 1 || n < 2 || n > kMaxModulus)
            return problem(QStringLiteral("\"%1\" needs a whole exponent of 1 or more and a modulus from 2 to %2")
                               .arg(QString::fromLatin1(name))
                               .arg(kMaxModulus));
        result.keys[which] = {e, n};
        seen[which] = true;
    }
    for (int k = 0; k < kPairs; ++k) {
        if (!seen[k] && k != Call) {
            if (error)
                *error = QStringLiteral("the key \"%1\" is missing").arg(QString::fromLatin1(kNames[k]));
            return std::nullopt;
        }
    }
    return result;
}

QByteArray ServiceKeys::write() const
{
    QByteArray out = "# The service's halves of the key pairs: name = exponent,modulus\n";
    for (int k = 0; k < kPairs; ++k)
        out += QByteArray(kNames[k]) + " = " + QByteArray::number(keys[k].exponent) + ','
               + QByteArray::number(keys[k].modulus) + '\n';
    return out;
}

MadeKeys MakeKeys()
{
    QList<int32_t> primes;
    for (int32_t p = 23; p < kMaxModulus / 23; ++p) {
        if (IsPrime(p))
            primes << p;
    }
    QRandomGenerator* random = QRandomGenerator::system();
    MadeKeys made;
    for (int k = 0; k < ServiceKeys::kPairs; ++k) {
        int32_t p = 0, q = 0;
        do {
            p = primes.at(random->bounded(int(primes.size())));
            q = primes.at(random->bounded(int(primes.size())));
        } while (p == q || p * q < kMinModulus || p * q > kMaxModulus);
        const int64_t lambda = std::lcm(int64_t(p - 1), int64_t(q - 1));
        int64_t e = 0, d = 0;
        do {
            e = random->bounded(10000, 100000);
            d = std::gcd(e, lambda) == 1 ? Inverse(e, lambda) : 0;
        } while (d == 0);
        while (d < 10000)
            d += lambda; // any d + k*lambda deciphers as well; five digits like the rest
        // the console enciphers with the pairs of the first three kinds and deciphers with the next two
        const bool clientEnciphers = k == ServiceKeys::Logout || k == ServiceKeys::Presence
                                     || k == ServiceKeys::Password || k == ServiceKeys::Call;
        made.client.keys[k] = {int32_t(clientEnciphers ? e : d), p * q};
        made.service.keys[k] = {int32_t(clientEnciphers ? d : e), p * q};
    }
    return made;
}
