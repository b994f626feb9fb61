package org.vantorix.image;

import java.io.IOException;

/**
 * Tells the writer that the tool is being stopped (Ctrl+C, SIGTERM): the writer checks it between
 * steps, and the program that runs at the time is ended, so the writer can put things back.
 */
final class Guard {
  private volatile boolean aborted;
  private Process child;

  synchronized Process start(ProcessBuilder builder) throws IOException {
    check();
    child = builder.start();
    return child;
  }

  synchronized void finished(Process process) {
    if (child == process) {
      child = null;
    }
  }

  void abort() {
    aborted = true;
    synchronized (this) {
      if (child != null) {
        child.descendants().forEach(ProcessHandle::destroyForcibly);
        child.destroyForcibly();
      }
    }
  }

  void check() {
    if (aborted) {
      throw new Refusal("interrupted: the output is as it was");
    }
  }
}
