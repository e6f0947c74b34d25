#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/SingleInstance.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
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

// A folder beside the program holds more than data: build files, notes, other programs' files.
TEST(ProgramFolder, IsSeededWithTheDataFilesAndTheUsersSpamListsOnly)
{
    TempFolder beside, folder;
    for (const char* name : {"statement.ini", "ring1.wav", "mouth21.bmp", "spam.txt", "spamfrom.txt",
                             "CMakeCache.txt", "install_manifest.txt", "CTestTestfile.cmake", "notes.ini",
                             "recorded.wav", "screenshot.bmp", "kv_.log"})
        beside.write(name, QByteArray("from beside: ") + name);
    folder.write("spamfrom.txt", "the user's own");
    SeedProgramFolder(beside.path(), folder.path());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files, QDir::Name),
              QStringList({"mouth21.bmp", "ring1.wav", "spam.txt", "spamfrom.txt", "statement.ini"}));
    QFile kept(folder.file("spamfrom.txt"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "the user's own");

    // Seeded from the shipped data, the folder has every captions, sound and picture file.
    TempFolder fromData;
    SeedProgramFolder(testing_support::sourceDir() + "/data", fromData.path());
    const QStringList shipped = {"*.ini", "*.wav", "*.bmp"};
    EXPECT_EQ(QDir(fromData.path()).entryList(QDir::Files, QDir::Name),
              QDir(testing_support::sourceDir() + "/data").entryList(shipped, QDir::Files, QDir::Name));
}
