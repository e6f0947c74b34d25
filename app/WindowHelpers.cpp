// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowHelpers.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void TrimSystemMenu(QWidget* form)
{
    const bool visible = form->isVisible();
    form->setWindowFlags((form->windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
                         & ~Qt::WindowCloseButtonHint);
    if (visible)
        form->show(); // changing the frame hides a shown window
}

void CentreOnScreen(QWidget* form)
{
    const QScreen* screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize size = form->frameGeometry().size();
    form->move(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2);
}
