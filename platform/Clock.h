// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QtGlobal>

namespace platform {

// The time every wait measured in seconds reads. The program runs on the system clock;
// tests install a clock they move themselves, so no test sleeps.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual qint64 msecsSinceEpoch() = 0;
    // Seconds since local midnight, as the original's timer function counted them.
    double secondsSinceMidnight();
};

class SystemClock : public Clock
{
public:
    qint64 msecsSinceEpoch() override;
};

// A clock that stands still until moved, or moves by a fixed step each time it is read.
class ManualClock : public Clock
{
public:
    explicit ManualClock(qint64 start = 0, qint64 stepPerRead = 0) : now_(start), step_(stepPerRead) { }
    qint64 msecsSinceEpoch() override
    {
        const qint64 t = now_;
        now_ += step_;
        return t;
    }
    void advance(qint64 msecs) { now_ += msecs; }
    void set(qint64 msecs) { now_ = msecs; }

private:
    qint64 now_;
    qint64 step_;
};

// The clock in use; SetAppClock(nullptr) returns to the system clock.
Clock& AppClock();
void SetAppClock(Clock* clock);

} // namespace platform
