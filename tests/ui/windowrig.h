#pragma once

#include "responsebox.h"
#include "simulatedplc.h"
#include "vantrel.h"
#include "windowload.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

// The window after load, wired to a simulated controller on COM1, with the beep, the failure
// message box and the end of the program replaced by recorders.
struct WindowRig {
    explicit WindowRig(plcsim::PlcOptions options = {}, int plcPort = 1)
        : plc(std::move(options), plcPort)
    {
        window.beep = [this] { logAtBeep.append(log()); };
        window.showFailure = [this](const QString &message) { failures.append(message); };
        window.endProgram = [this] { ended = true; };
        window.chooseLogFile = [this] { return logFile; };
        window.chooseTranscriptFile = [this] { return transcriptFile; };
        loadWindow(window);
    }

    template <typename Control> Control *control(const char *name) const
    {
        auto *found = window.findChild<Control *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    ResponseBox *responseBox() const { return control<ResponseBox>("responseBox"); }
    QLineEdit *commandString() const { return control<QLineEdit>("commandString"); }
    QString log() const { return responseBox()->logText(); }
    // Shows the window with the focus in it, as the operator finds it after the start.
    bool shown()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }

    void click(const char *name) { QTest::mouseClick(control<QPushButton>(name), Qt::LeftButton); }
    // Chooses an entry of the log's context menu, as the operator does.
    void logMenu(const QString &entry)
    {
        QTimer::singleShot(0, [entry] {
            for (QAction *action : QApplication::activePopupWidget()->actions())
                if (action->text() == entry)
                    action->trigger();
            QApplication::activePopupWidget()->close();
        });
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, {5, 5}, {5, 5});
        QApplication::sendEvent(responseBox()->viewport(), &menu);
    }
    void send(const QString &command)
    {
        commandString()->setText(command);
        QTest::keyClick(commandString(), Qt::Key_Return);
    }

    // A reply of every byte value but CR, which would end it.
    static QByteArray everyByte()
    {
        QByteArray bytes;
        for (int code = 0; code < 256; ++code)
            bytes += char(code == '\r' ? 'x' : code);
        return bytes;
    }

    SimulatedPlc plc;
    vantrel window;
    QStringList logAtBeep, failures;
    bool ended = false;
    // What the operator picks in the Save Log As and the Save Transcript As dialogs.
    QString logFile, transcriptFile;
};
