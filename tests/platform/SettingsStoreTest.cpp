// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SettingsStore.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using platform::SettingsStore;
using testing_support::TempFolder;

TEST(SettingsStore, ValuesRoundTripExactlyThroughAFreshStore)
{
    const QStringList values = {"pop.example.org", "a,b", "  x ", "", "@x", "\"q\"", "a;b=c", "中文"};
    TempFolder tmp;
    tmp.write("k.ini", "[setting]\nKey0=old\n");
    {
        SettingsStore store(tmp.file("k.ini"));
        EXPECT_EQ(store.GetSetting("key0", "none"), "old"); // keys are found in other capitals
        for (int i = 0; i < values.size(); ++i)
            ASSERT_TRUE(store.SaveSetting(QString("key%1").arg(i), values[i])) << store.lastError().toStdString();
    }
    SettingsStore fresh(tmp.file("k.ini"));
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(fresh.GetSetting(QString("Key%1").arg(i), "missing"), values[i]) << "value " << i;
    EXPECT_EQ(fresh.GetSetting("Other", "none"), "none");
    // it holds passwords: only its owner may read it
    const QFileDevice::Permissions p = QFile::permissions(tmp.file("k.ini"));
    EXPECT_TRUE(p.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_FALSE(
        p & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther));
}

TEST(SettingsStore, UnwritableFileFailsWithItsNameUntilItCanBeWritten)
{
    TempFolder tmp;
    tmp.write("folder", "x"); // a file where the folder should be stops even root
    const QString file = QDir(tmp.file("folder")).filePath("k.ini");
    SettingsStore store(file);
    EXPECT_FALSE(store.SaveSetting("PopServer", "x"));
    EXPECT_TRUE(store.lastError().contains(file)) << store.lastError().toStdString();

    ASSERT_TRUE(QFile::remove(tmp.file("folder")) && QDir(tmp.path()).mkdir("folder"));
    EXPECT_TRUE(store.SaveSetting("PopServer", "y")) << store.lastError().toStdString();
    EXPECT_EQ(store.lastError(), "");
    EXPECT_EQ(SettingsStore(file).GetSetting("popserver", ""), "y");
}
