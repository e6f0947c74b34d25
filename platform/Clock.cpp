// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.h"

#include <QDateTime>

namespace platform {
namespace {
SystemClock systemClock;
Clock* current = &systemClock;
} // namespace

double Clock::secondsSinceMidnight()
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch());
    return t.time().msecsSinceStartOfDay() / 1000.0;
}

qint64 SystemClock::msecsSinceEpoch()
{
    return QDateTime::currentMSecsSinceEpoch();
}

Clock& AppClock()
{
    return *current;
}

void SetAppClock(Clock* clock)
{
    current = clock ? clock : &systemClock;
}

} // namespace platform
