// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MailEngine.h"
#include "app/ProgramData.h"
#include "app/frmSet.h"
#include "platform/sound/AudioOutput.h"
#include "platform/speech/SpeechVoice.h"
#include "platform/DesktopNotifier.h"
#include "platform/SettingsStore.h"
#include "platform/SingleInstance.h"
#include "platform/Termination.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"
#include "platform/telephone/SipLine.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "usage: korvalen [--check-data | --help | --version] [Qt options]\n"
    "\n"
    "Watches a POP3 mailbox, deletes spam, answers new mail and rings your telephone when\n"
    "mail arrives; callers on its telephone line hear their mail read aloud.\n"
    "\n"
    "  --check-data  read the captions, sounds, pictures and icon as the program would, say\n"
    "                where they were found and exit; 1 when something is missing\n"
    "  -h, --help    show this text and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Qt's own options are understood too, e.g. -platform offscreen.\n"
    "KORVALEN_PROGRAM_FOLDER=DIR keeps the data, spam lists and log in DIR.\n"
    "KORVALEN_SCRIPTED_LINE=FILE adds a telephone line that plays a scripted caller.\n";

bool IsOption(const char* arg, const char* name)
{
    return std::strcmp(arg, name) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Help and version need no display, so they come before the application.
    bool checkData = false;
    for (int i = 1; i < argc; ++i) {
        if (IsOption(argv[i], "--help") || IsOption(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (IsOption(argv[i], "--version")) {
            std::printf("korvalen %s\n", KORVALEN_VERSION);
            return 0;
        }
        checkData |= IsOption(argv[i], "--check-data");
    }
    if (checkData && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // the check opens no window

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvalen"));
    QApplication::setApplicationVersion(QStringLiteral(KORVALEN_VERSION));
    QApplication::setQuitOnLastWindowClosed(false); // closing the main window only hides it
    // Qt has taken its own options out of argv; anything else left is a mistake.
    for (int i = 1; i < argc; ++i) {
        if (!IsOption(argv[i], "--check-data")) {
            std::fprintf(stderr, "korvalen: unknown option '%s'; see korvalen --help\n", argv[i]);
            return 2;
        }
    }
    QApplication::setWindowIcon(ProgramIcon());
    if (checkData) {
        QTextStream out(stdout);
        return CheckProgramData(out) ? 0 : 1;
    }

    platform::SettingsStore store;
    platform::SingleInstance instance;

    // The telephone lines: the SIP lines of the settings, then, for demonstrations, a scripted
    // line whose script KORVALEN_SCRIPTED_LINE names.
    auto& lines = platform::LineDeviceTable::instance();
    struct Release
    {
        platform::LineDeviceTable& t;
        ~Release() { t.clear(); }
    } release{lines}; // before the application goes
    auto* sip = new platform::SipLine(platform::LoadSipLines(store), &store);
    sip->setDialPrefix(platform::LoadSipDialPrefix(store));
    lines.addBackend(std::unique_ptr<platform::VoiceModem>(sip));
    if (const QString script = qEnvironmentVariable("KORVALEN_SCRIPTED_LINE"); !script.isEmpty()) {
        QFile file(script);
        auto scripted = std::make_unique<platform::ScriptedLine>();
        QString problem = QStringLiteral("cannot read the file");
        if (!file.open(QIODevice::ReadOnly) || !scripted->play(QString::fromUtf8(file.readAll()), &problem, 500)) {
            std::fprintf(stderr, "korvalen: scripted line %s: %s\n", qPrintable(script), qPrintable(problem));
            return 2;
        }
        lines.addBackend(std::move(scripted));
    }
    frmSetParts parts;
    parts.mailEngine = [] { return std::make_unique<MailEngine>(); };
    parts.voice = [] { return std::make_unique<platform::SpeechVoice>(); };
    parts.audioOutputs = [] { return platform::AudioOutputs::instance().descriptions(); };
    parts.notifier = [] { return std::make_unique<platform::DesktopNotifier>(); };
    frmSet main(store, instance, std::move(parts));
    QObject::connect(&main, &frmSet::programEnded, &app, &QApplication::quit, Qt::QueuedConnection);
    if (!main.Form_Load()) {
        if (!instance.anotherCopyRuns())
            return 0;
        // Already running: that copy shows its window, and this one goes.
        int status = 0;
        instance.AskRunningCopyToShow([&status](bool shown, const QString& why) {
            if (shown) {
                std::fprintf(stderr, "korvalen: already running; its window is now in front.\n");
            } else {
                std::fprintf(stderr, "korvalen: already running, but it cannot be asked to show its window (%s).\n",
                             qPrintable(why));
                status = 1;
            }
            QCoreApplication::exit(status);
        });
        app.exec();
        return status;
    }
    // From here on a terminate signal quits the orderly way, saving the settings; during the
    // first-run dialogs it ends the program at once, before anything is saved.
    platform::InstallTerminationHandler();
    main.show();
    return app.exec();
}
