// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The console's compose page as the voice menu fills it, kept in memory: dictated keys edit
// the body as the main window does (backspace erases, return starts a line).
#include "mail/ReplyForm.h"

#include <QString>

struct ComposePage : ReplyForm
{
    QString t, f, s, b;
    int shown = 0;
    QString to() const override { return t; }
    QString from() const override { return f; }
    QString subject() const override { return s; }
    QString body() const override { return b; }
    void setTo(const QString& x) override { t = x; }
    void setFrom(const QString& x) override { f = x; }
    void setSubject(const QString& x) override { s = x; }
    void setBody(const QString& x) override { b = x; }
    void showCompose() override { ++shown; }
    void key(const QString& c)
    {
        if (c == QLatin1String("\b"))
            b.chop(1);
        else
            b += c == QLatin1String("\r") ? QStringLiteral("\r\n") : c;
    }
};
