#pragma once

// The Windows side of one launch: derives the image layout from the
// executable's path, restarts the executable as a child when "PATH" lacks
// the application directory, otherwise preloads the runtime's libraries and
// runs the JVM in this process. Throws on failure.
void launchApp();

// Name of the environment variable that marks a process started by the
// restart. The child removes it as soon as it has read it, so neither the
// Java application nor anything it starts inherits it.
extern const wchar_t restartMarkVariable[];
