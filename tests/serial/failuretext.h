#pragma once

#include "failure.h"

#include <QString>

// The message of the Failure that `action` throws; a null string when it throws none.
template <typename Action> QString failureText(Action &&action)
try {
    action();
    return QString();
} catch (const Failure &failure) {
    return failure.message();
}
