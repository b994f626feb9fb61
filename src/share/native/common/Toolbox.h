#pragma once

// Small scope helpers.

#include <exception>
#include <functional>
#include <stdexcept>
#include <utility>

#include "ErrorHandling.h"

// Runs an action when the scope is left. What the action throws is
// reported and swallowed: nothing leaves the destructor.
class [[nodiscard]] AtEndOfScope {
public:
    explicit AtEndOfScope(std::function<void()> action) : action(std::move(action)) {}
    ~AtEndOfScope() {
        try {
            if (action) {
                action();
            }
        } catch (const std::runtime_error& e) {
            logCaughtError(CURRENT_POSITION, e);
        } catch (...) {
            logUnknownError(CURRENT_POSITION);
        }
    }
    AtEndOfScope(const AtEndOfScope&) = delete;
    AtEndOfScope& operator=(const AtEndOfScope&) = delete;

private:
    std::function<void()> action;
};
