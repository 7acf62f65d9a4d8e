// The window as it stands when created: every control at its design position, with its font,
// texts and entries. Positions are in twips, 15 to a device-independent pixel.

#include "choicebox.h"
#include "commandbox.h"
#include "portchoicebox.h"
#include "portmap.h"
#include "responsebox.h"
#include "vantrel.h"
#include "windowfonts.h"
#include "windowicon.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <limits>

namespace
{

int pixels(int twips)
{
    return qRound(twips / 15.0);
}

template <typename Control>
Control *place(QWidget *window, const char *name, int left, int top, int width, int height,
               const QFont &font)
{
    auto *control = new Control(window);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(pixels(left), pixels(top), pixels(width), pixels(height));
    control->setFont(font);
    return control;
}

QLabel *label(QWidget *window, const char *name, const QString &caption, int left, int top,
              int width, int height, const QFont &font)
{
    auto *control = place<QLabel>(window, name, left, top, width, height, font);
    control->setText(caption);
    control->setTextFormat(Qt::PlainText);
    control->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return control;
}

template <typename Box = QComboBox>
Box *choice(QWidget *window, const char *name, const QStringList &entries, int left, int top,
            const QFont &font)
{
    auto *control = place<Box>(window, name, left, top, 1575, 360, font);
    control->addItems(entries);
    makeChoiceBox(control);
    return control;
}

QPushButton *button(QWidget *window, const char *name, const QString &caption, int left, int top,
                    int width, int height, const QFont &font)
{
    auto *control = place<QPushButton>(window, name, left, top, width, height, font);
    control->setText(caption);
    control->setAutoDefault(false);
    control->setDefault(false);
    return control;
}

QStringList comPorts()
{
    QStringList names;
    for (int port = 1; port <= kComPorts; ++port)
        names.append(QStringLiteral("COM%1").arg(port));
    return names;
}

} // namespace

void vantrel::createControls()
{
    setObjectName(QStringLiteral("vantrel"));
    MSComm1.setObjectName(QStringLiteral("MSComm1"));
    setWindowTitle(QStringLiteral("Form1"));
    setWindowIcon(vantrelIcon());
    const QFont small = windowFont(8.25);
    const QFont regular = windowFont(9.75);
    setFont(small);
    resize(pixels(6180), pixels(5370));

    // Labels first: created first, they are drawn beneath the boxes that overlap them.
    lblPortName = label(this, "lblPortName", "Port Name :", 360, 180, 975, 255, regular);
    lblBaudRate = label(this, "lblBaudRate", "Baud Rate:", 3360, 180, 1095, 255, regular);
    lblDataBits = label(this, "lblDataBits", "Data Bits:", 360, 600, 975, 255, regular);
    lblStopBit = label(this, "lblStopBit", "Stop Bits :", 3360, 600, 1095, 255, regular);
    lblParity = label(this, "lblParity", "Parity :", 360, 1020, 975, 255, regular);
    lblTimeOut = label(this, "lblTimeOut", "Timeout (ms) :", 3360, 1020, 1335, 255, regular);
    Label1 =
        label(this, "Label1", "Command String (Press <Enter> to send", 360, 1920, 5295, 375, small);
    Label2 = label(this, "Label2", "Response Strings", 360, 2640, 2895, 375, small);

    portChoice = choice<PortChoiceBox>(this, "portChoice", comPorts(), 1440, 120, regular);
    baudChoice = choice(this, "baudChoice",
                        {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}, 4440,
                        120, regular);
    dataBitChoice = choice(this, "dataBitChoice", {"7", "8"}, 1440, 540, regular);
    stopBitChoice = choice(this, "stopBitChoice", {"1", "2"}, 4440, 540, regular);
    parityChoice = choice(this, "parityChoice", {"None", "Even", "Odd"}, 1440, 960, regular);

    timeOutBox = place<QLineEdit>(this, "timeOutBox", 4920, 960, 1095, 375, small);
    timeOutBox->setText(QStringLiteral("500 "));
    timeOutBox->setMaxLength(std::numeric_limits<int>::max());

    openPort = button(this, "openPort", "Open Port", 600, 1440, 1335, 375, regular);
    closePort = button(this, "closePort", "Close Port", 2520, 1440, 1335, 375, regular);
    ExitButton = button(this, "ExitButton", "Exit", 4440, 1440, 1335, 375, windowFont(9.75, true));

    commandString = place<CommandBox>(this, "commandString", 120, 2160, 5895, 350, regular);
    clearButton = button(this, "clearButton", "Clear", 5160, 2570, 855, 300, small);

    responseBox = place<ResponseBox>(this, "responseBox", 120, 2880, 5895, 2415, small);
    responseBox->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    responseBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    responseBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    responseBox->setTabChangesFocus(true);

    // Labels hold places in the design's tab order but never take the focus.
    const QList<QWidget *> tabOrder{commandString, ExitButton,  portChoice,    dataBitChoice,
                                    parityChoice,  baudChoice,  stopBitChoice, openPort,
                                    closePort,     clearButton, responseBox,   timeOutBox};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // A screen reader announces each box by the label that names it, not by what it holds. An
    // editable combo box hands the focus to its inner text field, which the buddy does not reach.
    const QList<std::pair<QLabel *, QWidget *>> named{
        {lblPortName, portChoice},   {lblBaudRate, baudChoice}, {lblDataBits, dataBitChoice},
        {lblStopBit, stopBitChoice}, {lblParity, parityChoice}, {lblTimeOut, timeOutBox},
        {Label1, commandString},     {Label2, responseBox}};
    for (const auto &[caption, control] : named) {
        caption->setBuddy(control);
        if (auto *box = qobject_cast<QComboBox *>(control))
            box->lineEdit()->setAccessibleName(caption->text());
    }
    commandString->setFocus();
}
