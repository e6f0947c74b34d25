// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// The console's compose page as the voice menu fills it while a caller dictates a reply.
class ReplyForm
{
public:
    virtual ~ReplyForm() = default;
    virtual QString to() const = 0;
    virtual QString from() const = 0;
    virtual QString subject() const = 0;
    virtual QString body() const = 0;
    virtual void setTo(const QString& text) = 0;
    virtual void setFrom(const QString& text) = 0;
    virtual void setSubject(const QString& text) = 0;
    virtual void setBody(const QString& text) = 0;
    virtual void showCompose() = 0;
};
