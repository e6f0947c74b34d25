// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace platform {

// Work the SIP stack's callbacks leave for after they return: the stack must not have its call
// or media state changed from inside a callback. The work runs in order on the owner's thread,
// one turn of the event loop later. Pending work holds the stack's calls, which keep the stack
// and its ports alive, so closing the queue drops it; work posted after that is dropped too.
class SipDeferrals : public std::enable_shared_from_this<SipDeferrals>
{
public:
    // owner: the long-lived object the work runs beside (the line), never the stack itself,
    // since the work may stop the stack.
    static std::shared_ptr<SipDeferrals> create(QObject* owner)
    {
        return std::shared_ptr<SipDeferrals>(new SipDeferrals(owner));
    }

    void post(std::function<void()> work)
    {
        std::lock_guard lock(mutex_);
        if (closed_ || !owner_)
            return;
        work_.push_back(std::move(work));
        if (!drainPosted_) {
            drainPosted_ = true;
            QMetaObject::invokeMethod(
                owner_, [self = shared_from_this()] { self->drain(); }, Qt::QueuedConnection);
        }
    }

    void close()
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        work_.clear();
    }

private:
    explicit SipDeferrals(QObject* owner) : owner_(owner) { }

    void drain()
    {
        for (;;) {
            std::unique_lock lock(mutex_);
            drainPosted_ = false;
            if (closed_ || work_.empty())
                return;
            const std::function<void()> item = std::move(work_.front());
            work_.pop_front();
            lock.unlock();
            item(); // may stop the stack, which closes this queue
        }
    }

    std::mutex mutex_;
    QPointer<QObject> owner_;
    std::deque<std::function<void()>> work_;
    bool drainPosted_ = false;
    bool closed_ = false;
};

} // namespace platform
