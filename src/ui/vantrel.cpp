#include "vantrel.h"

#include "choicebox.h"
#include "commandbox.h"
#include "commandhistory.h"
#include "failure.h"
#include "framing.h"
#include "frontendadvice.h"
#include "latin1.h"
#include "responsebox.h"
#include "wholefile.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace
{
constexpr qint16 kEnterKey = 13;
} // namespace

vantrel::vantrel(QWidget *parent) : QWidget(parent)
{
    beep = [] { QApplication::beep(); };
    showFailure = [this](const QString &message) {
        QMessageBox::warning(this, windowTitle(), message);
    };
    endProgram = [] { QCoreApplication::exit(0); };
    chooseLogFile = [this] {
        return QFileDialog::getSaveFileName(this, tr("Save Log As"), QString(),
                                            tr("Log files (*.log *.txt);;All files (*)"));
    };
    chooseTranscriptFile = [this] {
        const QString csv = tr("CSV, for a spreadsheet (*.csv)");
        QString chosen;
        QString path = QFileDialog::getSaveFileName(this, tr("Save Transcript As"), QString(),
                                                    csv + tr(";;JSON lines (*.jsonl)"), &chosen);
        if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
            path += chosen == csv ? QStringLiteral(".csv") : QStringLiteral(".jsonl");
        return path;
    };
    createControls();
    bindEvents();
}

void vantrel::bindEvents()
{
    const auto bind = [this](QPushButton *button, void (vantrel::*handler)()) {
        connect(button, &QPushButton::clicked, this,
                [this, handler] { handleEvent([this, handler] { (this->*handler)(); }); });
    };
    bind(openPort, &vantrel::openPort_Click);
    bind(closePort, &vantrel::closePort_Click);
    bind(clearButton, &vantrel::clearButton_Click);
    bind(ExitButton, &vantrel::ExitButton_Click);
    commandString->installEventFilter(this);
    // Installed after the window's filter, so it sees Enter before the handler takes it.
    new CommandHistory(commandString);
    connect(commandString, &CommandBox::notice, this,
            [this](const QString &message) { showFailure(message); });
    connect(responseBox, &ResponseBox::saveLogRequested, this,
            [this] { handleEvent([this] { saveLog(); }); });
    connect(responseBox, &ResponseBox::saveTranscriptRequested, this,
            [this] { handleEvent([this] { saveTranscript(); }); });
}

void vantrel::handleEvent(const std::function<void()> &handler)
{
    QWidget *const chosen = focusWidget();
    try {
        handler();
    } catch (const Failure &failure) {
        showFailure(shownText(failure, FrontEnd::Window));
    } catch (const std::exception &failure) {
        showFailure(QString::fromLocal8Bit(failure.what()));
    }
    // Qt passes the focus of a control that became disabled to the next one in the tab order
    // (Clear, after Open Port), where a Space would act on something the operator never chose.
    if (chosen && !chosen->isEnabled())
        commandString->setFocus();
}

bool vantrel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != commandString || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *press = static_cast<QKeyEvent *>(event);
    // Return and the keypad's Enter both arrive as character 13.
    const bool enter = press->key() == Qt::Key_Return || press->key() == Qt::Key_Enter;
    if (!enter && press->text().isEmpty())
        return false;
    qint16 key = enter ? kEnterKey : static_cast<qint16>(press->text().at(0).unicode());
    handleEvent([this, &key] {
        const bool exchanges = key == kEnterKey;
        commandString_KeyPress(key);
        // The handler logged one line for the exchange it ran; its details go beside it.
        if (exchanges && lastExchange_)
            responseBox->describeLastLine(*lastExchange_);
    });
    return key == 0;
}

void vantrel::Form_Load()
{
    portChoice->setCurrentIndex(0);
    baudChoice->setCurrentIndex(3);
    dataBitChoice->setCurrentIndex(1);
    stopBitChoice->setCurrentIndex(0);
    parityChoice->setCurrentIndex(0);
    closePort->setEnabled(false);
}

void vantrel::openPort_Click()
{
    const std::optional<QString> openAt = openPortSteps(MSComm1, *this);
    if (!openAt)
        return;
    appendResponse(*openAt);
    openPort->setEnabled(false);
    closePort->setEnabled(true);
    setSettingsEnabled(false);
}

void vantrel::closePort_Click()
{
    if (!closePortSteps(MSComm1))
        return;
    closePort->setEnabled(false);
    openPort->setEnabled(true);
    setSettingsEnabled(true);
}

void vantrel::commandString_KeyPress(qint16 &key)
{
    if (key != kEnterKey)
        return;
    key = 0;
    const QString reply = sendCommand(commandString->text());
    if (reply.isEmpty()) {
        beep();
        appendResponse(kNoResponseWarning);
    } else {
        appendResponse(reply);
    }
}

void vantrel::clearButton_Click()
{
    responseBox->clear();
}

void vantrel::ExitButton_Click()
{
    closePort_Click();
    endProgram();
}

void vantrel::appendResponse(const QString &line)
{
    responseBox->appendLine(line);
}

void vantrel::setSettingsEnabled(bool enabled)
{
    const QList<QWidget *> settings{portChoice,    baudChoice,   dataBitChoice,
                                    stopBitChoice, parityChoice, timeOutBox};
    for (QWidget *control : settings)
        control->setEnabled(enabled);
}

void vantrel::saveLog()
{
    const QString path = chooseLogFile();
    if (path.isEmpty())
        return;
    // The replies as the bytes that came in: one byte per character, lines ended CR LF.
    const QByteArray bytes = toWireBytes(responseBox->logText(), QStringLiteral("The log"),
                                         QStringLiteral("be saved as one byte"));
    writeWholeFile(path, bytes, QStringLiteral("The log"));
}

void vantrel::saveTranscript()
{
    const QString path = chooseTranscriptFile();
    if (path.isEmpty())
        return;
    const bool csv = path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
    writeWholeFile(path, csv ? transcript.csv() : transcript.jsonLines(),
                   QStringLiteral("The transcript"));
}

QString vantrel::sendCommand(const QString &command)
{
    lastExchange_.reset();
    lastExchange_ = exchange.run(command);
    transcript.add(*lastExchange_);
    return lastExchange_->reply.value_or(QString());
}

QString vantrel::appendFCS(qint16 unit, QString &command)
{
    return ::appendFCS(unit, command);
}

qint16 vantrel::computeFCS(const QString &text)
{
    return ::computeFCS(text);
}

QString vantrel::timeOutText() const
{
    return timeOutBox->text();
}

PortChoices vantrel::portChoices() const
{
    const auto typed = [](const QLabel *label, const QComboBox *box) {
        QStringList entries;
        for (int i = 0; i < box->count(); ++i)
            entries.append(box->itemText(i));
        return TypedText{label->text().remove(u':').trimmed(), box->currentText(),
                         entries.join(QStringLiteral(", "))};
    };
    PortChoices choices;
    choices.baud = selectedEntryText(baudChoice);
    choices.parity = selectedEntryText(parityChoice);
    choices.dataBits = selectedEntryText(dataBitChoice);
    choices.stopBits = selectedEntryText(stopBitChoice);
    choices.portPosition = selectedEntry(portChoice);
    // In the order of the settings string.
    const QList<std::pair<QLabel *, QComboBox *>> settings{{lblBaudRate, baudChoice},
                                                           {lblParity, parityChoice},
                                                           {lblDataBits, dataBitChoice},
                                                           {lblStopBit, stopBitChoice}};
    for (const auto &[label, box] : settings)
        if (selectedEntry(box) < 0)
            choices.unlistedSettings.append(typed(label, box));
    if (choices.portPosition < 0)
        choices.unlistedPort = typed(lblPortName, portChoice);
    return choices;
}
