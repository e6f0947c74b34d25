// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Key pairs the sign-in tests share with their service: each console pair (exponent, modulus)
// with the service's inverse exponent, made with Python from primes p, q as
// d = pow(e, -1, lcm(p-1, q-1)).
#include "console/LoginService.h"

#include <QByteArray>

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

inline LoginService Service(const QString& base)
{
    LoginService s;
    s.setBase(base);
    s.setPair(LoginService::Logout, kLogout.console);
    s.setPair(LoginService::Presence, kPresence.console);
    s.setPair(LoginService::Password, kPassword.console);
    s.setPair(LoginService::LoginAnswer, kAnswer.console);
    s.setPair(LoginService::Lookup, kLookup.console);
    s.setPair(LoginService::Call, kCall.console);
    return s;
}

// The service's key file for the same pairs.
inline QByteArray ServiceKeyFile()
{
    QByteArray text;
    const auto line = [&](const char* name, const Pair& p) {
        text += QByteArray(name) + " = " + QByteArray::number(p.serviceExponent) + ","
                + QByteArray::number(p.console.modulus) + "\n";
    };
    line("logout", kLogout);
    line("presence", kPresence);
    line("password", kPassword);
    line("answer", kAnswer);
    line("lookup", kLookup);
    line("call", kCall);
    return text;
}

} // namespace login_keys
