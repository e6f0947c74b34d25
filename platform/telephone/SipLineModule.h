// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/telephone/SipLineDevices.h"

// The one function the SIP line's module exports: a new line over the stack, on the calling thread,
// with no devices yet (each open hands it the list and the dialling prefix).
#define KORVALEN_SIP_LINE_FACTORY "korvalen_new_sip_line"
extern "C" {
using KorvalenSipLineFactory = platform::SipLineDevices* (*)();
}
