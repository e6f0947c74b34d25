#include "app/MailEngine.h"
#include "app/frmSet.h"
#include "platform/sound/AudioOutput.h"
#include "platform/speech/SpeechVoice.h"
#include "platform/SettingsStore.h"
#include "platform/SingleInstance.h"
#include "platform/Termination.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"
#include "platform/telephone/SipLine.h"

#include <QApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvalen"));
    QApplication::setQuitOnLastWindowClosed(false); // closing the main window only hides it

    platform::SettingsStore store;
    platform::SingleInstance instance;

    // The telephone lines: the SIP lines of the settings, then, for demonstrations, a scripted
    // line whose script KORVALEN_SCRIPTED_LINE names.
    auto& lines = platform::LineDeviceTable::instance();
    struct Release { platform::LineDeviceTable& t; ~Release() { t.clear(); } } release{lines}; // before the application goes
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
    frmSet main(store, instance, std::move(parts));
    QObject::connect(&main, &frmSet::programEnded, &app, &QApplication::quit, Qt::QueuedConnection);
    if (!main.Form_Load())
        return 0;
    // From here on a terminate signal quits the orderly way, saving the settings; during the
    // first-run dialogs it ends the program at once, before anything is saved.
    platform::InstallTerminationHandler();
    main.show();
    return app.exec();
}
