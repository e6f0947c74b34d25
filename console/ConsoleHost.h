// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <cstdint>

// What the console window asks of its owner, the main window.
class ConsoleHost
{
public:
    virtual ~ConsoleHost() = default;

    // The outgoing mail server the console sends its e-mails through.
    virtual QString smtpServer() const = 0;
    virtual int32_t smtpPort() const = 0;
};
