#include "stopsignals.h"
#include "vantrel.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    exitOnStopSignals();
    QApplication app(argc, argv);
    vantrel window;
    QMetaObject::invokeMethod(&window, "Form_Load");
    window.show();
    return app.exec();
}
