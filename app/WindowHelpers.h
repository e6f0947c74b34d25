// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// Takes the Close command off a window's frame, so the window can only be left by its buttons.
void TrimSystemMenu(QWidget* form);

// Places a window in the middle of its screen.
void CentreOnScreen(QWidget* form);
