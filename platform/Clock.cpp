#include "platform/Clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>

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

void YieldFor(qint64 msecs)
{
    const qint64 end = AppClock().msecsSinceEpoch() + msecs;
    while (AppClock().msecsSinceEpoch() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (current == &systemClock)
            QThread::msleep(1); // do not spin a core while waiting for real time
    }
}

} // namespace platform
