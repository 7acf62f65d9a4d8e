#pragma once

#include "failure.h"
#include "frontendadvice.h"

#include <QString>

// The message of the Failure that `action` throws, as the front end shows it; a null string
// when it throws none.
template <typename Action>
QString failureText(Action &&action, FrontEnd frontEnd = FrontEnd::Window)
try {
    action();
    return QString();
} catch (const Failure &failure) {
    return shownText(failure, frontEnd);
}
