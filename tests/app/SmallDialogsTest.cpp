// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "app/WindowHelpers.h"
#include "app/frmLogin.h"
#include "app/frmNotes.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

TEST(frmLogin, OnlyTheAgreeButtonAccepts)
{
    frmLogin agree;
    agree.show();
    QTest::mouseClick(agree.cmdOK, Qt::LeftButton);
    EXPECT_TRUE(agree.accepted);
    EXPECT_FALSE(agree.isVisible());

    frmLogin decline;
    decline.accepted = true;
    decline.show();
    QTest::mouseClick(decline.cmdCancel, Qt::LeftButton);
    EXPECT_FALSE(decline.accepted);
    EXPECT_FALSE(decline.isVisible());

    frmLogin escape;
    escape.show();
    QTest::keyClick(&escape, Qt::Key_Escape);
    EXPECT_FALSE(escape.accepted);
    EXPECT_EQ(escape.windowTitle(), "License Agreement");
}
