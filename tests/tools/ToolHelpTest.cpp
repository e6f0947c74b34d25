// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

struct Tool
{
    const char* name;
    QString path;
};

// Every program and script a user or developer runs by name.
const Tool kTools[] = {
    {"korvalen", QStringLiteral(KORVALEN_BINARY)},
    {"korvalen-mailcheck", QStringLiteral(KORVALEN_MAILCHECK)},
    {"korvalen-msgdump", QStringLiteral(KORVALEN_MSGDUMP)},
    {"korvalen-make-sounds", QStringLiteral(KORVALEN_MAKE_SOUNDS)},
    {"korvalen-make-pictures", QStringLiteral(KORVALEN_MAKE_PICTURES)},
    {"korvalen-make-chinese-tables", QStringLiteral(KORVALEN_MAKE_CHINESE_TABLES)},
    {"scripts/bench", QStringLiteral(KORVALEN_SOURCE_DIR "/scripts/bench")},
    {"scripts/fuzz", QStringLiteral(KORVALEN_SOURCE_DIR "/scripts/fuzz")},
};

struct ToolRun
{
    int exitCode = -1;
    QString out, err;
    QStringList left; // what the run left in its working folder
};

// Runs a tool in an empty folder of its own, on a fresh profile and without a display unless
// it may draw offscreen.
ToolRun run(const QString& program, const QStringList& args, bool offscreen = false)
{
    testing_support::TempFolder work, home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "KORVALEN_PROGRAM_FOLDER"})
        env.remove(name);
    for (auto [name, dir] : {std::pair{"HOME", ""}, {"XDG_CONFIG_HOME", "/config"}, {"XDG_DATA_HOME", "/data"}})
        env.insert(name, home.path() + dir);
    if (offscreen)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const auto run = testing_support::runProgram(program, args, {}, env, work.path());
    ToolRun r;
    r.exitCode = run.exitCode;
    r.out = QString::fromUtf8(run.out);
    r.err = QString::fromUtf8(run.err);
    r.left = QDir(work.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    return r;
}

} // namespace

// Each tool prints its usage for --help and -h; an option it does not know is refused, and a
// generator must not take it for its output folder. Nothing is written either way. The program
// hears of an unknown option once Qt has taken its own, so it gets a screen to start on.
TEST(ToolHelp, EveryToolPrintsItsUsageRefusesUnknownOptionsAndTouchesNothing)
{
    for (const Tool& tool : kTools) {
        for (const char* option : {"--help", "-h", "--no-such-option"}) {
            SCOPED_TRACE(std::string(tool.name) + " " + option);
            const bool unknown = option[2] == 'n';
            if (unknown && QString::fromLatin1(tool.name).startsWith(QLatin1String("scripts/")))
                continue; // the scripts build first and pass the rest on
            const ToolRun r = run(tool.path, {QString::fromLatin1(option)}, unknown);
            EXPECT_EQ(r.left, QStringList());
            if (unknown) {
                EXPECT_GT(r.exitCode, 0);
                EXPECT_TRUE(r.err.contains(QLatin1String("no-such-option"))) << r.err.toStdString();
                continue;
            }
            EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
            EXPECT_TRUE(r.out.contains(QLatin1String("usage"), Qt::CaseInsensitive)) << r.out.toStdString();
            EXPECT_TRUE(r.out.contains(QFileInfo(tool.name).fileName())) << r.out.toStdString();
            EXPECT_EQ(r.err, QString());
        }
    }
}

TEST(ToolHelp, ProgramTellsItsVersion)
{
    const ToolRun r = run(QStringLiteral(KORVALEN_BINARY), {QStringLiteral("--version")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, QStringLiteral("korvalen " KORVALEN_VERSION "\n"));
}
