// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/SipLineModule.h"

#include "platform/telephone/SipLine.h"

extern "C" Q_DECL_EXPORT platform::SipLineDevices* korvalen_new_sip_line()
{
    return new platform::SipLine({});
}
