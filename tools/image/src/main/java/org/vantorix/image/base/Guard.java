package org.vantorix.image.base;

import java.io.IOException;

/**
 * Tells the writer that the tool is being stopped (Ctrl+C, SIGTERM): the writer checks it between
 * steps, and the program that runs at the time is ended, so the writer can put things back.
 */
public final class Guard {
  private volatile boolean aborted;
  private Process child;

  public synchronized Process start(ProcessBuilder builder) throws IOException {
    check();
    child = builder.start();
    return child;
  }

  public synchronized void finished(Process process) {
    if (child == process) {
      child = null;
    }
  }

  public void abort() {
    aborted = true;
    synchronized (this) {
      if (child != null) {
        Programs.end(child);
      }
    }
  }

  public void check() {
    if (aborted) {
      throw new Refusal("interrupted: the output is as it was");
    }
  }
}
