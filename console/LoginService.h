// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace platform {
class SettingsStore;
}

// An exponent and a modulus of the number-string codec.
struct KeyPair
{
    int32_t exponent = 0;
    int32_t modulus = 0;

    static constexpr int32_t kMinModulus = 2;
    static constexpr int32_t kMaxModulus = 46340; // a product of two residues must fit in 32 bits

    bool valid() const { return exponent >= 1 && modulus >= kMinModulus && modulus <= kMaxModulus; }
    // "exponent,modulus", as stored and as the service's key tool prints it
    QString toString() const;
    // Reads "exponent,modulus"; on a bad text says why in *error.
    static std::optional<KeyPair> parse(const QString& text, QString* error = nullptr);
    bool operator==(const KeyPair&) const = default;
};

// Why a typed exponent or modulus cannot be used; empty when it can.
QString ExponentProblem(const QString& typed);
QString ModulusProblem(const QString& typed);

// The web service the console signs in to: its base address and the six key pairs agreed
// with it. The base is kept only enciphered, in plus form, and deciphered when a request is
// built. A new profile has no service: the console then signs in locally.
class LoginService
{
public:
    enum Pair { Logout, Presence, Password, LoginAnswer, Lookup, Call, kPairs };

    // Settings keys (section "setting").
    static constexpr const char* kBaseKey = "LoginService";
    static constexpr std::array<const char*, kPairs> kPairKeys{"LoginKeyLogout", "LoginKeyPresence", "LoginKeyPassword",
                                                               "LoginKeyAnswer", "LoginKeyLookup",   "LoginKeyCall"};
    // What each pair is for, as the dialog labels it.
    static constexpr std::array<const char*, kPairs> kPairNames{"Logout",       "Presence", "Password",
                                                                "Login answer", "Lookup",   "Internet call"};

    // The program's fixed pair that enciphers the stored base, and its inverse.
    static constexpr KeyPair kStorageCipher{10007, 36503};
    static constexpr KeyPair kStorageDecipher{25223, 36503};

    // The stored settings; missing or unreadable keys leave their part unset.
    static LoginService Load(const platform::SettingsStore& store);
    bool Save(platform::SettingsStore& store) const;

    // The base deciphered; empty when none is set.
    QString base() const;
    // Keeps a base: a trailing "/" is added when missing. Empty clears it.
    void setBase(const QString& plain);
    QString baseCipher() const { return baseCipher_; }
    void setBaseCipher(const QString& plusForm) { baseCipher_ = plusForm; }

    KeyPair pair(Pair which) const { return pairs_[which]; }
    void setPair(Pair which, KeyPair pair) { pairs_[which] = pair; }

    // A base address and every pair the sign-in uses: the console can sign in through it.
    bool isConfigured() const;

    bool operator==(const LoginService&) const = default;

private:
    QString baseCipher_;
    std::array<KeyPair, kPairs> pairs_{};
};

// Why a typed base address cannot be used; empty when it can.
QString BaseProblem(const QString& base);

// True for a plain http:// address to any host but this machine: the sign-in would cross the
// network readable by anyone on the way.
bool needsPlainHttpWarning(const QString& base);
