#include "platform/Clock.h"
#include "platform/SingleInstance.h"

#include "TestSupport.h"

#include <QFileInfo>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace platform;
using testing_support::TempFolder;

TEST(SingleInstance, SecondCopyIsRefusedAndADeadCopysLockTakenOver)
{
    TempFolder tmp;
    {
        SingleInstance first(tmp.path());
        EXPECT_FALSE(first.PrevInstance());
        EXPECT_FALSE(first.PrevInstance()); // asking again does not find itself
        EXPECT_TRUE(SingleInstance(tmp.path()).PrevInstance());
    }
    SingleInstance instance(tmp.path());
    tmp.write(QFileInfo(instance.lockFileName()).fileName(), "2147483646\nkorvalen\n\n"); // no such process
    EXPECT_FALSE(instance.PrevInstance());
    EXPECT_TRUE(SingleInstance(tmp.path()).PrevInstance());
}
