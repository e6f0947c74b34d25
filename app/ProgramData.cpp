// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ProgramData.h"

#include "app/LocalizedTexts.h"
#include "audio/GsmWave.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemLocale.h"
#include "platform/telephone/DeferredSipLine.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>

#include <algorithm>
#include <functional>

namespace {

const QString kIconName = QStringLiteral("com.korvalen.Korvalen"); // the icon theme's name for it

// The shipped icon files, by size: korvalen-48.png is 48 pixels square.
QList<std::pair<int, QString>> iconFiles()
{
    static const QRegularExpression pattern(QStringLiteral("^korvalen-(\\d+)\\.png$"));
    QList<std::pair<int, QString>> icons;
    for (const QString& name : platform::ShippedDataFiles())
        if (const auto match = pattern.match(name); match.hasMatch())
            icons.append({match.captured(1).toInt(), name});
    return icons;
}

// The captions the windows show, as section suffix, key stem and count of indices.
struct CaptionKeys
{
    const char* section;
    const char* stem;
    int count; // 0: the stem alone is the key
};
constexpr CaptionKeys kCaptions[] = {
    {"Conv", "UGotMail", 0},       {"Label", "SettingCheck", 7}, {"Label", "Gen", 19},
    {"Label", "PilotLabel", 11},   {"Button", "ButtonA", 10},    {"Button", "SettingDialog", 7},
    {"Button", "PilotDialog", 10}, {"Button", "PilotButton", 8},
};

QString languageName(const QString& letter)
{
    if (letter == QLatin1String("T"))
        return QStringLiteral("traditional Chinese");
    if (letter == QLatin1String("S"))
        return QStringLiteral("simplified Chinese");
    return QStringLiteral("English");
}

struct Tally
{
    int found = 0;
    int total = 0;
    QStringList problems;
};

Tally checkCaptions(QString* example)
{
    const QString letter = LanguageLetter(platform::SystemLcid());
    Tally t;
    QStringList missing;
    for (const CaptionKeys& c : kCaptions) {
        const QString section = letter + QLatin1String(c.section);
        for (int i = 0; i < std::max(c.count, 1); ++i) {
            const QString key = QLatin1String(c.stem) + (c.count ? QString::number(i) : QString());
            const QString text = ReadStatementText(section, key);
            ++t.total;
            if (text.isEmpty()) {
                missing << section + '/' + key;
                continue;
            }
            ++t.found;
            if (key == QLatin1String("ButtonA0"))
                *example = text;
        }
    }
    if (!missing.isEmpty())
        t.problems << QStringLiteral("statement.ini lacks %1 caption(s) in %2: %3")
                              .arg(missing.size())
                              .arg(languageName(letter), missing.mid(0, 5).join(QStringLiteral(", ")))
                          + (missing.size() > 5 ? QStringLiteral(", ...") : QString());
    return t;
}

Tally checkFiles(const QString& suffix, const std::function<QString(const QString&)>& problemWith)
{
    Tally t;
    const QDir folder(platform::ProgramFolder());
    for (const QString& name : platform::ShippedDataFiles()) {
        if (!name.endsWith(suffix))
            continue;
        ++t.total;
        const QString path = folder.filePath(name);
        const QString problem = QFileInfo::exists(path) ? problemWith(path) : QStringLiteral("missing");
        if (problem.isEmpty())
            ++t.found;
        else
            t.problems << name + QStringLiteral(": ") + problem;
    }
    return t;
}

QString soundProblem(const QString& path)
{
    audio::GsmWave wave;
    QString error;
    return audio::ReadGsmWave(path, &wave, &error) ? QString() : error;
}

QString pictureProblem(const QString& path)
{
    QImageReader reader(path);
    return reader.read().isNull() ? reader.errorString() : QString();
}

} // namespace

QIcon ProgramIcon()
{
    QIcon icon;
    const QDir folder(platform::ProgramFolder());
    for (const auto& [size, name] : iconFiles())
        if (const QString path = folder.filePath(name); QFileInfo::exists(path))
            icon.addFile(path, QSize(size, size));
    return icon.isNull() ? QIcon::fromTheme(kIconName) : icon;
}

bool CheckProgramData(QTextStream& out)
{
    QStringList problems;
    const QString folder = platform::ProgramFolder();
    out << "Program folder: " << QDir::toNativeSeparators(folder) << '\n';
    if (const QString problem = platform::ProgramFolderProblem(); !problem.isEmpty())
        problems << problem;
    const QString shipped = platform::ShippedDataFolder();
    out << "Shipped data: " << (shipped.isEmpty() ? QStringLiteral("not found") : QDir::toNativeSeparators(shipped))
        << '\n';

    QString example;
    const Tally captions = checkCaptions(&example);
    out << "Captions: " << captions.found << " of " << captions.total << " in "
        << languageName(LanguageLetter(platform::SystemLcid()));
    if (!example.isEmpty())
        out << ", e.g. \"" << example << '"';
    out << '\n';
    const Tally sounds = checkFiles(QStringLiteral(".wav"), soundProblem);
    out << "Sounds: " << sounds.found << " of " << sounds.total << '\n';
    const Tally pictures = checkFiles(QStringLiteral(".bmp"), pictureProblem);
    const Tally icons = checkFiles(QStringLiteral(".png"), pictureProblem);
    out << "Pictures: " << pictures.found + icons.found << " of " << pictures.total + icons.total << '\n';
    problems << captions.problems << sounds.problems << pictures.problems << icons.problems;

    const QIcon icon = ProgramIcon();
    QStringList sizes;
    for (const QSize& size : icon.availableSizes())
        sizes << QString::number(size.width());
    out << "Window icon: "
        << (icon.isNull()     ? QStringLiteral("none")
            : sizes.isEmpty() ? QStringLiteral("%1 from the icon theme").arg(icon.name())
                              : sizes.join(QStringLiteral(", ")) + QStringLiteral(" pixels"))
        << '\n';
    if (icon.isNull())
        problems
            << QStringLiteral("no window icon: neither the program folder nor the icon theme has %1").arg(kIconName);

    // The telephone line's stack is a module of its own, loaded when a line opens.
    const QString module = platform::DeferredSipLine::DefaultModulePath();
    out << "SIP line: " << QDir::toNativeSeparators(module) << '\n';
    if (const QString problem = platform::DeferredSipLine::CheckModule(module); !problem.isEmpty())
        problems << QStringLiteral("the SIP line cannot be loaded: %1").arg(problem);

    for (const QString& problem : problems)
        out << "Problem: " << problem << '\n';
    out << (problems.isEmpty() ? "Everything the program needs was found.\n"
                               : "Reinstall the program, or delete the files above from the program folder so "
                                 "that they are copied again from the shipped data.\n");
    out.flush();
    return problems.isEmpty();
}
