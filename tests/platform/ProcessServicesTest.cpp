// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.h"
#include "platform/LogFile.h"
#include "platform/ProgramFolder.h"
#include "platform/SingleInstance.h"

#include "TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace platform;
using testing_support::TempFolder;

// A second copy is refused in DesktopServicesTest.
TEST(SingleInstance, ADeadCopysLockIsTakenOver)
{
    TempFolder tmp;
    SingleInstance instance(tmp.path());
    tmp.write(QFileInfo(instance.lockFileName()).fileName(), "2147483646\nkorvalen\n\n"); // no such process
    EXPECT_FALSE(instance.PrevInstance());
    EXPECT_FALSE(instance.PrevInstance()); // asking again does not find itself
    EXPECT_TRUE(SingleInstance(tmp.path()).PrevInstance());
}

// A folder beside the program holds more than data: build files, notes, other programs' files.
TEST(ProgramFolder, IsSeededWithTheDataFilesAndTheUsersSpamListsOnly)
{
    TempFolder beside, folder;
    for (const char* name :
         {"statement.ini", "ring1.wav", "mouth21.bmp", "spam.txt", "spamfrom.txt", "CMakeCache.txt",
          "install_manifest.txt", "CTestTestfile.cmake", "notes.ini", "recorded.wav", "screenshot.bmp", "kv_.log"})
        beside.write(name, QByteArray("from beside: ") + name);
    folder.write("spamfrom.txt", "the user's own");
    SeedProgramFolder(beside.path(), folder.path());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files, QDir::Name),
              QStringList({"mouth21.bmp", "ring1.wav", "spam.txt", "spamfrom.txt", "statement.ini"}));
    EXPECT_EQ(folder.read("spamfrom.txt"), "the user's own");

    // After an upgrade the program's data follows the new version; the spam lists stay the user's.
    beside.write("statement.ini", "the new captions");
    beside.write("spam.txt", "the new shipped list");
    folder.write("spam.txt", "the user's list");
    SeedProgramFolder(beside.path(), folder.path());
    for (const auto& [name, expected] : {std::pair{"statement.ini", "the new captions"},
                                         {"spam.txt", "the user's list"},
                                         {"ring1.wav", "from beside: ring1.wav"}}) {
        EXPECT_EQ(folder.read(name), expected) << name;
    }
}

// Caller names, server replies and error texts go into the log as they came: whatever they hold,
// each record stays one line of three quoted fields.
TEST(LogFile, EveryRecordIsOneLineOfThreeFields)
{
    TempFolder folder;
    SetProgramFolderOverride(folder.path());
    ManualClock clock(QDateTime(QDate(2026, 12, 6), QTime(9, 5, 7)).toMSecsSinceEpoch());
    SetAppClock(&clock);
    const struct
    {
        QString category, message;
        QString record;
    } rows[] = {
        {"phone", "From : Ann , 5551234", R"(#2026-12-06 09:05:07#,"phone","From : Ann , 5551234")"},
        {"phone", "From : \"Ann\" , 5551234", R"(#2026-12-06 09:05:07#,"phone","From : ""Ann"" , 5551234")"},
        {"pop.\"x\".org", "", R"(#2026-12-06 09:05:07#,"pop.""x"".org","")"},
        {"phone", "Ann\r\nFrom : Eve\n", R"(#2026-12-06 09:05:07#,"phone","Ann  From : Eve ")"},
        {"phone", QString("a") + QChar(0) + "b\x01\x1b[2J\tc\x7f", R"(#2026-12-06 09:05:07#,"phone","a b  [2J c ")"},
        {"phone", QString("a") + QChar(0x85) + "b" + QChar(0x2028) + "c" + QChar(0x2029),
         R"(#2026-12-06 09:05:07#,"phone","a b c ")"},
    };
    for (const auto& r : rows)
        EXPECT_TRUE(AppendLogRecord("kv_", r.category, r.message)) << r.message.toStdString();
    SetAppClock(nullptr);
    SetProgramFolderOverride(QString());

    const QByteArray bytes = folder.read("kv_.log");
    ASSERT_TRUE(bytes.endsWith("\r\n"));
    const QList<QByteArray> records = bytes.chopped(1).split('\n');
    ASSERT_EQ(records.size(), qsizetype(std::size(rows))) << bytes.toStdString();
    for (qsizetype i = 0; i < records.size(); ++i) {
        ASSERT_TRUE(records[i].endsWith('\r')) << i;
        EXPECT_EQ(records[i].chopped(1).toStdString(), rows[i].record.toStdString());
    }
}
