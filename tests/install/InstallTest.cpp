// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QString kAppId = QStringLiteral("com.korvalen.Korvalen");

struct Output
{
    int exitCode = -1;
    QString text; // standard output and errors
};

Output runProgram(const QString& program, const QStringList& args,
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    const testing_support::ProgramRun run = testing_support::runProgram(program, args, {}, env);
    return {run.exitCode, QString::fromUtf8(run.out + run.err)};
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(cannot read " + path.toUtf8() + ")");
}

int countShipped(const QStringList& suffixes)
{
    int n = 0;
    for (const QString& name : platform::ShippedDataFiles())
        for (const QString& suffix : suffixes)
            n += name.endsWith(suffix);
    return n;
}

// What `korvalen --check-data` reported, line by line.
struct DataReport
{
    int exitCode = -1;
    QString text;

    QString line(const QString& label) const
    {
        const auto m = QRegularExpression(QStringLiteral("^%1: (.*)$").arg(QRegularExpression::escape(label)),
                                          QRegularExpression::MultilineOption)
                           .match(text);
        return m.hasMatch() ? m.captured(1) : QStringLiteral("(no %1 line)").arg(label);
    }
};

class Install : public ::testing::Test
{
protected:
    testing_support::TempFolder root;
    int homes = 0;

    // Installs the build under root/<prefix>; the installed tree's root.
    QString install(const QString& prefix) { return installTo(root.file(prefix)); }
    // One installation under usr, shared by the tests that only read it.
    static QString shared()
    {
        static const testing_support::TempFolder folder;
        static const QString path = installTo(folder.file("usr"));
        return path;
    }
    static QString installTo(const QString& path)
    {
        const Output o = runProgram(QStringLiteral(KORVALEN_CMAKE),
                                    {"--install", QStringLiteral(KORVALEN_BUILD_DIR), "--prefix", path});
        EXPECT_EQ(o.exitCode, 0) << o.text.toStdString();
        return path;
    }

    // Runs the program's data check as a user who never ran it, in the language of `lang`.
    DataReport check(const QString& program, const QString& lang, QString* home, const QString& chosenFolder = {})
    {
        *home = root.file(QStringLiteral("home%1").arg(++homes));
        QDir().mkpath(*home + "/runtime");
        QFile::setPermissions(*home + "/runtime",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE", "KORVALEN_PROGRAM_FOLDER", "XDG_DATA_DIRS"})
            env.remove(name);
        for (auto [name, dir] : {std::pair{"HOME", ""},
                                 {"XDG_CONFIG_HOME", "/config"},
                                 {"XDG_DATA_HOME", "/data"},
                                 {"XDG_CACHE_HOME", "/cache"},
                                 {"XDG_RUNTIME_DIR", "/runtime"}})
            env.insert(name, *home + dir);
        env.insert("LANG", lang);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        if (!chosenFolder.isEmpty())
            env.insert("KORVALEN_PROGRAM_FOLDER", chosenFolder);
        const Output o = runProgram(program, {"--check-data"}, env);
        return {o.exitCode, o.text};
    }
};

// "Captions: 73 of 73 in ..." and the like: everything of its kind was found.
void ExpectAllFound(const DataReport& r, const QString& label, int expected)
{
    const auto m = QRegularExpression(QStringLiteral("^(\\d+) of (\\d+)")).match(r.line(label));
    ASSERT_TRUE(m.hasMatch()) << label.toStdString() << ": " << r.text.toStdString();
    EXPECT_EQ(m.captured(1), m.captured(2)) << r.text.toStdString();
    const int all = m.captured(2).toInt();
    EXPECT_TRUE(expected > 0 ? all == expected : all > 0) << label.toStdString() << ": " << all;
}

// Every caption, sound and picture was found.
void ExpectComplete(const DataReport& r)
{
    ExpectAllFound(r, "Captions", 0);
    ExpectAllFound(r, "Sounds", countShipped({".wav"}));
    ExpectAllFound(r, "Pictures", countShipped({".bmp", ".png"}));
}

} // namespace

// The installed program finds its data under any prefix; the build tree keeps its data beside
// the program; KORVALEN_PROGRAM_FOLDER names a folder of the user's, filled from whichever data
// the program was shipped with.
TEST_F(Install, ProgramFindsItsDataInstalledAnywhereInTheBuildTreeAndInAChosenFolder)
{
    const QString built = QStringLiteral(KORVALEN_BINARY);
    const struct
    {
        QString installed, chosen, lang, language; // no installed: the build tree
    } rows[] = {
        {shared(), "", "zh_TW.UTF-8", "traditional Chinese"},
        {install("opt/Kor valen 試/0.1"), "", "zh_TW.UTF-8", "traditional Chinese"},
        {shared(), root.file("chosen2"), "zh_HK.UTF-8", "traditional Chinese"},
        {"", "", "zh_CN.UTF-8", "simplified Chinese"},
        {"", root.file("chosen1"), "en_US.UTF-8", "English"},
    };
    for (const auto& row : rows) {
        const QString& installed = row.installed;
        SCOPED_TRACE((installed + " " + row.lang).toStdString());
        QString home;
        const DataReport r =
            check(installed.isEmpty() ? built : installed + "/bin/korvalen", row.lang, &home, row.chosen);
        EXPECT_EQ(r.exitCode, 0) << r.text.toStdString();
        EXPECT_EQ(r.line("Program folder"), !row.chosen.isEmpty() ? row.chosen
                                            : installed.isEmpty() ? QFileInfo(built).absolutePath()
                                                                  : home + "/data/korvalen");
        EXPECT_TRUE(r.line("Captions").contains(" in " + row.language + ", e.g. ")) << r.text.toStdString();
        ExpectComplete(r);
        if (installed.isEmpty() || !row.chosen.isEmpty())
            continue;
        EXPECT_EQ(QDir(installed + "/bin").entryList(QDir::Files, QDir::Name),
                  QStringList({"korvalen", "korvalen-mailcheck", "korvalen-msgdump", "korvalen-service"}));
        EXPECT_EQ(r.line("Shipped data"), installed + "/share/korvalen");
        EXPECT_TRUE(r.line("Captions").contains(QRegularExpression("\\p{Han}"))) << r.text.toStdString();
        EXPECT_EQ(r.line("Window icon"), "16, 32, 48, 64, 128, 256 pixels");
        // The telephone line's module is installed where the program finds it, and loads.
        EXPECT_TRUE(r.line("SIP line").startsWith(installed + "/lib"));
        EXPECT_TRUE(r.line("SIP line").endsWith("/korvalen/korvalen-sipline.so")) << r.text.toStdString();
        // The user's own copy is the installed data.
        EXPECT_EQ(contents(home + "/data/korvalen/statement.ini"),
                  contents(installed + "/share/korvalen/statement.ini"));
    }
}

TEST_F(Install, ProgramSaysWhichDataIsMissingOrBroken)
{
    const QString installed = install("usr");
    const QString data = installed + "/share/korvalen";
    ASSERT_TRUE(QFile::remove(data + "/ring2.wav"));
    QFile broken(data + "/mouth05.bmp");
    ASSERT_TRUE(broken.resize(10));

    QString home;
    DataReport r = check(installed + "/bin/korvalen", "en_US.UTF-8", &home);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.line("Sounds"), QStringLiteral("%1 of %2").arg(countShipped({".wav"}) - 1).arg(countShipped({".wav"})));
    EXPECT_TRUE(r.text.contains("Problem: ring2.wav: missing\n")) << r.text.toStdString();
    EXPECT_TRUE(r.text.contains("Problem: mouth05.bmp: ")) << r.text.toStdString();
    ExpectAllFound(r, "Captions", 0);

    // Without its shipped data a fresh user gets no captions, and is told so.
    ASSERT_TRUE(QDir(data).removeRecursively());
    r = check(installed + "/bin/korvalen", "en_US.UTF-8", &home);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.line("Shipped data"), "not found");
    EXPECT_TRUE(r.line("Captions").startsWith("0 of ")) << r.text.toStdString();
    EXPECT_TRUE(r.text.contains("Problem: statement.ini lacks ")) << r.text.toStdString();
}

TEST_F(Install, DesktopFilesAreInPlaceAndPassTheirValidators)
{
    const QString share = shared() + "/share";

    QStringList data = QDir(share + "/korvalen").entryList(QDir::Files, QDir::Name);
    QStringList shipped = platform::ShippedDataFiles();
    shipped.sort();
    EXPECT_EQ(data, shipped);
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QImage icon(QStringLiteral("%1/icons/hicolor/%2x%2/apps/%3.png").arg(share).arg(size).arg(kAppId));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
    }

    const QString desktop = share + "/applications/" + kAppId + ".desktop";
    const QString entry = QString::fromUtf8(contents(desktop));
    EXPECT_TRUE(entry.contains("\nExec=korvalen\n"));
    EXPECT_TRUE(entry.contains("\nIcon=" + kAppId + "\n"));
    const Output desktopCheck = runProgram("desktop-file-validate", {desktop});
    EXPECT_EQ(desktopCheck.exitCode, 0) << "desktop-file-validate (scripts/install-deps installs it)";
    EXPECT_EQ(desktopCheck.text, "");

    const QString metainfo = share + "/metainfo/" + kAppId + ".metainfo.xml";
    const Output metainfoCheck = runProgram("appstreamcli", {"validate", "--no-net", metainfo});
    EXPECT_EQ(metainfoCheck.exitCode, 0) << metainfoCheck.text.toStdString();
}
