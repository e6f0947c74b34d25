#include "platform/SettingsStore.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using platform::SettingsStore;
using testing_support::TempFolder;

TEST(SettingsStore, ValuesRoundTripExactlyThroughAFreshStore)
{
    const QStringList values = {"pop.example.org", "a,b", "  x ", "", "@x", "\"q\"", "a;b=c", "中文", "1,2,3"};
    TempFolder tmp;
    {
        SettingsStore store(tmp.file("k.ini"));
        EXPECT_EQ(store.GetSetting("Key0", "none"), "none");
        for (int i = 0; i < values.size(); ++i)
            ASSERT_TRUE(store.SaveSetting(QString("Key%1").arg(i), values[i])) << store.lastError().toStdString();
    }
    SettingsStore fresh(tmp.file("k.ini"));
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(fresh.GetSetting(QString("Key%1").arg(i), "missing"), values[i]) << "value " << i;
    EXPECT_EQ(fresh.GetSetting("Other", "none"), "none");
}

TEST(SettingsStore, KeyInOtherCapitalsIsFoundAndOverwrittenInPlace)
{
    TempFolder tmp;
    tmp.write("k.ini", "[setting]\nPopServer=old.example.org\nFilters=a,b\n");
    {
        SettingsStore store(tmp.file("k.ini"));
        EXPECT_EQ(store.GetSetting("popserver", "none"), "old.example.org");
        EXPECT_EQ(store.GetSetting("filters", "none"), "a,b"); // an unquoted hand-edited list is text
        ASSERT_TRUE(store.SaveSetting("popserver", "new.example.org"));
    }
    QFile f(tmp.file("k.ini"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_EQ(text.count("popserver", Qt::CaseInsensitive), 1) << text.toStdString();
    EXPECT_EQ(SettingsStore(tmp.file("k.ini")).GetSetting("POPSERVER", "none"), "new.example.org");
}

TEST(SettingsStore, UnwritableFileFailsWithItsNameUntilItCanBeWritten)
{
    TempFolder tmp;
    // A regular file stands where the folder should be, which stops even root.
    tmp.write("folder", "x");
    const QString file = QDir(tmp.file("folder")).filePath("k.ini");
    SettingsStore store(file);
    EXPECT_FALSE(store.SaveSetting("PopServer", "x"));
    EXPECT_TRUE(store.lastError().contains(file)) << store.lastError().toStdString();

    // One failure does not spoil the saves after it.
    ASSERT_TRUE(QFile::remove(tmp.file("folder")) && QDir(tmp.path()).mkdir("folder"));
    EXPECT_TRUE(store.SaveSetting("PopServer", "y")) << store.lastError().toStdString();
    EXPECT_EQ(store.lastError(), "");
    EXPECT_EQ(SettingsStore(file).GetSetting("popserver", ""), "y");
}
