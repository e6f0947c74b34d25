#include "app/MailEngine.h"
#include "app/frmSet.h"
#include "platform/sound/AudioOutput.h"
#include "platform/speech/SpeechVoice.h"
#include "platform/SettingsStore.h"
#include "platform/SingleInstance.h"
#include "platform/Termination.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvalen"));
    QApplication::setQuitOnLastWindowClosed(false); // closing the main window only hides it

    platform::SettingsStore store;
    platform::SingleInstance instance;
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
