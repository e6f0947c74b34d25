// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The web service the program signs in to; its pages hold the help and the account sign-up.
inline constexpr const char* kVendorSite = "https://korvalen.example/";
