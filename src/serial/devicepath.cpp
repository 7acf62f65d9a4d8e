#include "devicepath.h"

QString devicePathForPort(int port)
{
    const QByteArray mapped = qgetenv(QStringLiteral("VANTREL_COM%1").arg(port).toLatin1());
    if (!mapped.isEmpty())
        return QString::fromLocal8Bit(mapped);
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}
