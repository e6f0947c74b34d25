// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Key pairs the sign-in tests share with their service: each console pair (exponent, modulus)
// with the service's inverse exponent, made with Python from primes p, q as
// d = pow(e, -1, lcm(p-1, q-1)).
#include "console/LoginService.h"

#include <QByteArray>
#include <tuple>

namespace login_keys {

struct Pair
{
    KeyPair console;
    int32_t serviceExponent;
};

inline constexpr Pair kLogout{{10009, 39187}, 21573}; // 149 x 263
inline constexpr Pair kPresence{{10037, 43621}, 10013}; // 181 x 241
inline constexpr Pair kPassword{{10039, 43489}, 10279}; // 157 x 277
inline constexpr Pair kAnswer{{10061, 43739}, 10661}; // 191 x 229
inline constexpr Pair kLookup{{10067, 39913}, 16479}; // 167 x 239
inline constexpr Pair kCall{{10069, 43931}, 30133}; // 197 x 223

inline constexpr std::tuple<LoginService::Pair, const char*, Pair> kAll[] = {
    {LoginService::Logout, "logout", kLogout},       {LoginService::Presence, "presence", kPresence},
    {LoginService::Password, "password", kPassword}, {LoginService::LoginAnswer, "answer", kAnswer},
    {LoginService::Lookup, "lookup", kLookup},       {LoginService::Call, "call", kCall}};

inline LoginService Service(const QString& base)
{
    LoginService s;
    s.setBase(base);
    for (const auto& [which, name, pair] : kAll)
        s.setPair(which, pair.console);
    return s;
}

// The service's key file for the same pairs.
inline QByteArray ServiceKeyFile()
{
    QByteArray text;
    for (const auto& [which, name, pair] : kAll)
        text += QByteArray(name) + " = " + QByteArray::number(pair.serviceExponent) + ","
                + QByteArray::number(pair.console.modulus) + "\n";
    return text;
}

} // namespace login_keys
