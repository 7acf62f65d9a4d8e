#pragma once

#include <QSerialPort>
#include <QString>

// A settings string such as "9600,N,8,1" taken apart: baud, parity letter, data bits, stop bits.
struct LineSettings {
    qint32 baudRate = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    // Throws Failure, quoting the string, when it is not four usable comma-separated fields.
    static LineSettings parse(const QString &settings);

    // Milliseconds the line needs to carry `bytes` characters, each framed by a start bit, a
    // parity bit if any and the stop bits (1.5 counted as 2); rounded up.
    qint64 msecsToSend(qint64 bytes) const;
};
