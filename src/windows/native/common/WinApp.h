#pragma once

// What the GUI entry's frame shows the user, beyond app::wlaunch.

#include "tstrings.h"

namespace app {

// Whether a failure of this process is shown in a message box (it is
// unless turned off): the child of a restart whose parent reports its
// standard error shows none of its own.
void setMessageBoxShown(bool shown);

// Shows an error text in a message box captioned with the executable's
// file name, cut to what a box can show, and only where a window station
// is visible. Blocks until the user closes it. False when no box was shown.
bool showErrorMessageBox(const WideString& text);

} // namespace app
