#include "app/frmSet.h"
#include "platform/SettingsStore.h"
#include "platform/SingleInstance.h"
#include "platform/Termination.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvalen"));
    QApplication::setQuitOnLastWindowClosed(false); // closing the main window only hides it
    platform::InstallTerminationHandler();

    platform::SettingsStore store;
    platform::SingleInstance instance;
    frmSet main(store, instance);
    QObject::connect(&main, &frmSet::programEnded, &app, &QApplication::quit, Qt::QueuedConnection);
    if (!main.Form_Load())
        return 0;
    main.show();
    return app.exec();
}
