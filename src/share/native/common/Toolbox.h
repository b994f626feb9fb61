#pragma once

// Small scope helpers.

#include <exception>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "ErrorHandling.h"

// Runs an action when the scope is left, unless cancelled. What the action
// throws is reported and swallowed: nothing leaves the destructor.
//   AtEndOfScope restore([&] { ... });
template <class Action>
class [[nodiscard]] AtEndOfScope {
public:
    explicit AtEndOfScope(Action action) noexcept(std::is_nothrow_move_constructible_v<Action>)
        : action(std::move(action)) {}
    ~AtEndOfScope() {
        if (!armed) {
            return;
        }
        try {
            action();
        } catch (const std::runtime_error& e) {
            logCaughtError(CURRENT_POSITION, e);
        } catch (...) {
            logUnknownError(CURRENT_POSITION);
        }
    }
    AtEndOfScope(const AtEndOfScope&) = delete;
    AtEndOfScope& operator=(const AtEndOfScope&) = delete;

    // The action is not run.
    void cancel() noexcept { armed = false; }

private:
    Action action;
    bool armed = true;
};
