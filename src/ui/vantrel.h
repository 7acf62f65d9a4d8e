#pragma once

#include "commandexchange.h"
#include "exchangetranscript.h"
#include "mscomm.h"
#include "portsteps.h"
#include "steadytickclock.h"

#include <QWidget>
#include <functional>
#include <optional>

class CommandBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ResponseBox;

// The one window: settings, Open/Close Port, the command box and the response log. It reads its
// controls and hands the work to the serial line; every event enters through one boundary that
// shows a failure to the operator and lets the program go on.
class vantrel final : public QWidget, private ExchangeSetup, private PortChoiceSource
{
    Q_OBJECT
public:
    explicit vantrel(QWidget *parent = nullptr);

    QString sendCommand(const QString &command);
    // How the most recent sendCommand went; nothing after one that failed.
    const std::optional<ExchangeRecord> &lastExchange() const { return lastExchange_; }
    QString appendFCS(qint16 unit, QString &command);
    qint16 computeFCS(const QString &text);

    // Seams for the window system's side effects; tests replace them with recorders.
    std::function<void()> beep;
    std::function<void(const QString &message)> showFailure;
    std::function<void()> endProgram;
    // Ask the operator where to save the log and the transcript; an empty path means they chose
    // not to. A transcript path ending ".csv" gets CSV, any other JSON lines.
    std::function<QString()> chooseLogFile;
    std::function<QString()> chooseTranscriptFile;

    // Every exchange of this run, for Save Transcript As.
    ExchangeTranscript transcript;

private slots:
    void Form_Load();
    void openPort_Click();
    void closePort_Click();
    void clearButton_Click();
    void ExitButton_Click();

private:
    void createControls();
    void bindEvents();
    void commandString_KeyPress(qint16 &key);
    void appendResponse(const QString &line);
    void setSettingsEnabled(bool enabled);
    void saveLog();
    void saveTranscript();
    // Runs one event's handler; a failure is shown to the operator, never passed to Qt.
    void handleEvent(const std::function<void()> &handler);
    bool eventFilter(QObject *watched, QEvent *event) override;

    QString timeOutText() const override;
    void makePortReady() override { openPort_Click(); }
    PortChoices portChoices() const override;

    QLabel *lblPortName = nullptr;
    QComboBox *portChoice = nullptr;
    QLabel *lblBaudRate = nullptr;
    QComboBox *baudChoice = nullptr;
    QLabel *lblDataBits = nullptr;
    QComboBox *dataBitChoice = nullptr;
    QLabel *lblStopBit = nullptr;
    QComboBox *stopBitChoice = nullptr;
    QLabel *lblParity = nullptr;
    QComboBox *parityChoice = nullptr;
    QLabel *lblTimeOut = nullptr;
    QLineEdit *timeOutBox = nullptr;
    QPushButton *openPort = nullptr;
    QPushButton *closePort = nullptr;
    QPushButton *ExitButton = nullptr;
    QLabel *Label1 = nullptr;
    CommandBox *commandString = nullptr;
    QPushButton *clearButton = nullptr;
    QLabel *Label2 = nullptr;
    ResponseBox *responseBox = nullptr;

    MSComm MSComm1;
    SteadyTickClock tickClock;
    CommandExchange exchange{MSComm1, tickClock, *this};
    std::optional<ExchangeRecord> lastExchange_;
};
