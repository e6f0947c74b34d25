// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MailEngine.h"
#include "app/ProgramData.h"
#include "app/frmSet.h"
#include "platform/sound/AudioOutput.h"
#include "platform/speech/SpeechVoice.h"
#include "platform/DesktopNotifier.h"
#include "platform/FontConfiguration.h"
#include "platform/Keyring.h"
#include "platform/SettingsStore.h"
#include "platform/SingleInstance.h"
#include "platform/Termination.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"
#include "platform/telephone/DeferredSipLine.h"

#include <QApplication>
#include <QFile>
#include <QSslSocket>
#include <QThreadPool>
#include <QTimer>
#include <QWindow>
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

// The main window is built and shown first, and the keyring is asked for the passwords then; what
// needs them follows once it has answered. A first run, whose agreement and wizard show the passwords,
// starts only then.
class Program
{
public:
    Program(platform::SettingsStore& store, platform::SingleInstance& instance, platform::Keyring& keyring)
        : store_(store), instance_(instance), keyring_(keyring)
    { }
    ~Program()
    {
        main_.reset(); // before the lines it uses
        platform::LineDeviceTable::instance().clear();
    }

    void BuildWindow()
    {
        if (main_)
            return;
        frmSetParts parts;
        parts.mailEngine = [] { return std::make_unique<MailEngine>(); };
        parts.voice = [] { return std::make_unique<platform::SpeechVoice>(); };
        parts.audioOutputs = [] { return platform::AudioOutputs::instance().descriptions(); };
        parts.notifier = [] { return std::make_unique<platform::DesktopNotifier>(); };
        parts.openLineWhenShown = true; // the window first, then the line
        parts.pilotConsole = true;
        parts.consoleWhenShown = true; // the main window first, then the console
        main_ = std::make_unique<frmSet>(store_, instance_, std::move(parts));
        // Passwords saved on the way out reach the keyring before the program ends.
        QObject::connect(
            main_.get(), &frmSet::programEnded, &keyring_, [this] { keyring_.Flush([] { QCoreApplication::quit(); }); },
            Qt::QueuedConnection);
    }

    // Before the keyring has answered.
    void StartEarly()
    {
        BuildWindow();
        if (main_->firstRun())
            return;
        main_->awaitPasswords();
        Start();
    }

    void PasswordsKnown()
    {
        if (!started_)
            return Start();
        if (!running_)
            return;
        sip_->setLines(platform::LoadSipLines(store_));
        main_->passwordsKnown();
    }

private:
    void Start()
    {
        BuildWindow();
        started_ = true;
        if (const int status = StartWindow(); status >= 0)
            QCoreApplication::exit(status);
    }

    // -1 when the program runs on, otherwise its exit status.
    int StartWindow()
    {
        // The telephone lines: the SIP lines of the settings, then, for demonstrations, a scripted
        // line whose script KORVALEN_SCRIPTED_LINE names.
        auto& lines = platform::LineDeviceTable::instance();
        sip_ = new platform::DeferredSipLine(platform::LoadSipLines(store_), &store_);
        sip_->setDialPrefix(platform::LoadSipDialPrefix(store_));
        lines.addBackend(std::unique_ptr<platform::VoiceModem>(sip_));
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
        if (!main_->Form_Load()) {
            if (!instance_.anotherCopyRuns())
                return 0;
            // Already running: that copy shows its window, and this one goes.
            instance_.AskRunningCopyToShow([](bool shown, const QString& why) {
                if (shown) {
                    std::fprintf(stderr, "korvalen: already running; its window is now in front.\n");
                } else {
                    std::fprintf(stderr, "korvalen: already running, but it cannot be asked to show its window (%s).\n",
                                 qPrintable(why));
                }
                QCoreApplication::exit(shown ? 0 : 1);
            });
            return -1;
        }
        // From here on a terminate signal quits the orderly way, saving the settings; during the
        // first-run dialogs it ends the program at once, before anything is saved.
        platform::InstallTerminationHandler();
        running_ = true;
        main_->show();
        FinishOnceShown(main_->windowHandle());
        return -1;
    }

    // What waits until the main window is on the screen, as it would only hold the window back:
    // the program's icon, whose pictures are read then, and the TLS library, loaded beside it.
    static void FinishOnceShown(QWindow* window)
    {
        struct OnExpose : QObject
        {
            bool eventFilter(QObject* watched, QEvent* event) override
            {
                if (event->type() == QEvent::Expose) {
                    QApplication::setWindowIcon(ProgramIcon());
                    QThreadPool::globalInstance()->start([] { QSslSocket::supportsSsl(); });
                    deleteLater();
                }
                return QObject::eventFilter(watched, event);
            }
        };
        window->installEventFilter(new OnExpose);
    }

    platform::SettingsStore& store_;
    platform::SingleInstance& instance_;
    platform::Keyring& keyring_;
    std::unique_ptr<frmSet> main_;
    platform::DeferredSipLine* sip_ = nullptr; // the line table's
    bool started_ = false;
    bool running_ = false; // started, and not ending at once
};

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
    // The fonts' configuration loads beside the application, which needs it for the window.
    if (!checkData)
        platform::LoadFontConfigurationBeside();
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
    if (checkData) {
        QTextStream out(stdout);
        return CheckProgramData(out) ? 0 : 1;
    }

    // The application's first event loop waits for the session bus, which connects meanwhile.
    QThreadPool::globalInstance()->start(&platform::ConnectSessionBus);
    platform::Keyring keyring;
    platform::SettingsStore::SetProgramKeyring(&keyring);
    platform::SettingsStore store;
    platform::SingleInstance instance;
    Program program(store, instance, keyring);
    QObject::connect(&keyring, &platform::Keyring::Trouble,
                     [](const QString& why) { std::fprintf(stderr, "korvalen: %s\n", qPrintable(why)); });
    // The passwords may be in the keyring, which answers from a thread of its own after a few
    // round trips to other programs: the window is built and shown first, and the keyring asked
    // at the event loop's first turn.
    program.StartEarly();
    QTimer::singleShot(0, &keyring, [&] { keyring.Open(store.fileName(), [&program] { program.PasswordsKnown(); }); });
    return app.exec();
}
