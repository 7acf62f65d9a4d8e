#include "commandline.h"
#include "standarddescriptors.h"
#include "stopsignals.h"
#include "vantrel.h"
#include "windowload.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    openMissingStandardDescriptors();
    // Answered before Qt is started, so they work without a display.
    if (const std::optional<int> answered = answerCommandLine(argc, argv))
        return *answered;
    exitOnStopSignals();
    QApplication app(argc, argv);
    if (const std::optional<int> refused = refuseArgumentsLeft(argc, argv))
        return *refused;
    // Ties the window to its menu entry and icon on desktops that match them by name.
    QGuiApplication::setDesktopFileName(QStringLiteral(VANTREL_APP_ID));
    vantrel window;
    loadWindow(window);
    window.show();
    return app.exec();
}
