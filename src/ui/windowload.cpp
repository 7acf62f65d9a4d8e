#include "windowload.h"

#include "vantrel.h"

void loadWindow(vantrel &window)
{
    if (!QMetaObject::invokeMethod(&window, "Form_Load", Qt::DirectConnection))
        qFatal("The window %s has no load handler Form_Load.", window.metaObject()->className());
}
