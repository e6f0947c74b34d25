// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

// The service's halves of the six key pairs it shares with the consoles. For the pairs the
// console enciphers with (logout, presence, password) the service holds the deciphering
// exponent; for those the console deciphers with (login answer, lookup) it holds the
// enciphering one. The internet-call pair is kept with them for the consoles' own use.
struct ServiceKeys
{
    enum Pair { Logout, Presence, Password, LoginAnswer, Lookup, Call, kPairs };
    static constexpr std::array<const char*, kPairs> kNames{"logout", "presence", "password",
                                                            "answer", "lookup",   "call"};
    // The console's settings keys for the same pairs.
    static constexpr std::array<const char*, kPairs> kClientKeys{
        "LoginKeyLogout", "LoginKeyPresence", "LoginKeyPassword", "LoginKeyAnswer", "LoginKeyLookup", "LoginKeyCall"};

    struct Key
    {
        int32_t exponent = 0;
        int32_t modulus = 0;
    };
    std::array<Key, kPairs> keys{};

    // The key file: "name = exponent,modulus" lines, "#" comments. On a problem, says which line.
    static std::optional<ServiceKeys> read(const QByteArray& text, QString* error);
    QByteArray write() const;
};

// Six freshly made pairs: both halves of each, moduli the product of two primes below 46341.
struct MadeKeys
{
    ServiceKeys service;
    ServiceKeys client;
};
MadeKeys MakeKeys();
