#pragma once

// The Windows side of one launch: derives the image layout from the
// executable's path, restarts the executable as a child when "PATH" lacks
// the application directory, otherwise preloads the runtime's libraries and
// runs the JVM in this process. Throws on failure.
void launchApp();

