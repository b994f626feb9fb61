#pragma once

// Tells, after the runtime's launch entry has returned, whether it created
// the JVM: a non-zero result then comes from the application (an uncaught
// exception, a main class that failed), not from a runtime that could not
// start. The entry itself says neither: it returns 1 for both.

class JvmStartWatch {
public:
    // Taken right before the entry is called.
    JvmStartWatch();
    // Whether the JVM was created since.
    bool jvmStarted() const;

private:
    // What the OS half notes before the call.
    const void* before;
};
