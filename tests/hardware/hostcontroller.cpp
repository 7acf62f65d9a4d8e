#include "hostcontroller.h"

#include <utility>

namespace
{
constexpr char kEnq = '\x05';
} // namespace

HostController::HostController() : line([this](const QByteArray &bytes) { take(bytes); }) {}

void HostController::take(const QByteArray &bytes)
{
    received += bytes;
    for (const char byte : bytes) {
        if (byte == kEnq && pending_.isEmpty()) {
            if (answerEnq)
                line.write(QByteArray(1, kEnq));
        } else if (byte != '\r') {
            pending_ += byte;
        } else {
            const QByteArray command = std::exchange(pending_, {});
            if (heard)
                heard(command);
            if (command == "PULL")
                pullHeard = true;
            else if (answerCommands)
                line.write("OK " + command + '\r');
        }
    }
}
