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

TEST(WindowHelpers, TrimmingTheSystemMenuRemovesClose)
{
    frmLogin dialog;
    dialog.show();
    TrimSystemMenu(&dialog);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(dialog.isVisible());
}

TEST(WindowHelpers, WindowsArePlacedOnTheScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QWidget w;
    w.resize(300, 200);
    w.show();
    CentreOnScreen(&w);
    const QPoint centre = w.frameGeometry().center();
    EXPECT_LE(std::abs(centre.x() - screen.center().x()), 2);
    EXPECT_LE(std::abs(centre.y() - screen.center().y()), 2);

    frmNotes notes;
    notes.show();
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(notes.frameGeometry()));
    EXPECT_FALSE(notes.Label1->text().isEmpty());
}
