package org.vantorix.instances;

import java.io.IOException;
import java.nio.file.InvalidPathException;
import java.nio.file.Path;
import java.util.Objects;
import java.util.function.Consumer;

/**
 * One instance per user and session of an application packaged with {@code --single-instance}:
 * the application calls {@link #onForward} once, early in {@code main}; from then on a later start
 * of the application by the same user in the same session does not start a second Java runtime but
 * hands its arguments and working directory to this one and ends.
 *
 * <p>The launcher names the endpoint in the system property {@value #ENDPOINT_PROPERTY}; without
 * it (started otherwise, or packaged without the option) nothing happens and every start is its
 * own instance, as it is for an application that never calls this class.
 */
public final class Instances {
  /** The system property in which the launcher names the endpoint. */
  public static final String ENDPOINT_PROPERTY = "vantorix.instance-endpoint";

  private static final System.Logger LOG = System.getLogger("org.vantorix.instances");
  private static Listener listener;
  private static boolean called;

  private Instances() {}

  /** {@link #onForward(Consumer, Runnable)} without a window hook. */
  public static boolean onForward(Consumer<Forwarded> receiver) {
    return onForward(receiver, () -> {});
  }

  /**
   * Receives the later starts. For each, first {@code toFront} runs (where the application brings
   * its window forward; on Windows the forwarding start has allowed this process to take the
   * foreground), then {@code receiver}. Both run on the library's own thread, one start at a time
   * in the order they came; hand the work on to the application's UI thread from there. What
   * they throw is logged and does not stop later starts.
   *
   * @return true when this process now receives the later starts; false when it was not started
   *     as a single instance, or another process of the application holds the endpoint (two
   *     first starts at the same moment), or the endpoint cannot be made (the reason is logged)
   * @throws IllegalStateException when called a second time
   */
  public static synchronized boolean onForward(Consumer<Forwarded> receiver, Runnable toFront) {
    Objects.requireNonNull(receiver, "receiver");
    Objects.requireNonNull(toFront, "toFront");
    if (called) {
      throw new IllegalStateException("Instances.onForward may be called once");
    }
    called = true;
    String endpoint = System.getProperty(ENDPOINT_PROPERTY);
    if (endpoint == null || endpoint.isEmpty()) {
      LOG.log(System.Logger.Level.DEBUG, "no {0}: every start is an instance of its own",
          ENDPOINT_PROPERTY);
      return false;
    }
    try {
      listener = Listener.start(Path.of(endpoint), receiver, toFront);
    } catch (IOException | InvalidPathException | UnsupportedOperationException e) {
      LOG.log(System.Logger.Level.WARNING,
          "later starts cannot reach this instance at " + endpoint, e);
      return false;
    }
    if (listener == null) {
      LOG.log(System.Logger.Level.INFO,
          "another instance of the application listens at {0}", endpoint);
      return false;
    }
    // A normal end removes the socket file; after a crash the next instance replaces it.
    Listener own = listener;
    Runtime.getRuntime().addShutdownHook(new Thread(() -> {
      try {
        own.close();
      } catch (IOException e) {
        // The process is ending; the next instance replaces what is left.
      }
    }, "vantorix-instances-exit"));
    return true;
  }
}
