package org.vantorix.instances;

import java.io.IOException;
import java.net.StandardProtocolFamily;
import java.net.UnixDomainSocketAddress;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.channels.Channels;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.channels.OverlappingFileLockException;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.Set;
import java.util.concurrent.Executors;
import java.util.concurrent.ScheduledExecutorService;
import java.util.concurrent.ScheduledFuture;
import java.util.concurrent.TimeUnit;
import java.util.function.Consumer;

/**
 * The instance's end of the endpoint: holds the lock beside the socket for as long as the
 * process runs (the system drops it when the process ends, however it ends), so that exactly one
 * process listens; replaces the socket file a crashed instance left; serves one start at a time
 * on a daemon thread of its own, each within {@link #EXCHANGE_MILLIS}.
 */
final class Listener implements AutoCloseable {
  static final long EXCHANGE_MILLIS = 2000;
  private static final byte[] GREETING_MAGIC = {'V', 'X', 'I', '1'};
  private static final byte ACCEPTED = 'A';
  private static final System.Logger LOG = System.getLogger("org.vantorix.instances");

  private final Path socket;
  private final FileChannel lockFile;
  private final ServerSocketChannel server;
  private final Consumer<Forwarded> receiver;
  private final Runnable toFront;
  private final ScheduledExecutorService watchdog;
  private final Thread thread;

  private Listener(
      Path socket,
      FileChannel lockFile,
      ServerSocketChannel server,
      Consumer<Forwarded> receiver,
      Runnable toFront) {
    this.socket = socket;
    this.lockFile = lockFile;
    this.server = server;
    this.receiver = receiver;
    this.toFront = toFront;
    this.watchdog =
        Executors.newSingleThreadScheduledExecutor(
            r -> daemon(r, "vantorix-instances-watchdog"));
    this.thread = daemon(this::serve, "vantorix-instances");
  }

  /**
   * Listens at the socket; null when another live process holds the endpoint. Throws when the
   * endpoint cannot be made or its directory is not this user's own.
   */
  static Listener start(Path socket, Consumer<Forwarded> receiver, Runnable toFront)
      throws IOException {
    Path directory = socket.toAbsolutePath().getParent();
    privateDirectory(directory);
    FileChannel lockFile =
        FileChannel.open(
            socket.resolveSibling(socket.getFileName() + ".lock"),
            StandardOpenOption.CREATE,
            StandardOpenOption.WRITE);
    try {
      FileLock lock;
      try {
        lock = lockFile.tryLock();
      } catch (OverlappingFileLockException e) {
        // This very process holds it.
        lock = null;
      }
      if (lock == null) {
        lockFile.close();
        return null;
      }
      // The lock is ours, so a socket file there is a crashed instance's.
      Files.deleteIfExists(socket);
      ServerSocketChannel server = ServerSocketChannel.open(StandardProtocolFamily.UNIX);
      try {
        server.bind(UnixDomainSocketAddress.of(socket));
      } catch (IOException | RuntimeException e) {
        server.close();
        throw e;
      }
      Listener listener = new Listener(socket, lockFile, server, receiver, toFront);
      listener.thread.start();
      return listener;
    } catch (IOException | RuntimeException e) {
      lockFile.close();
      throw e;
    }
  }

  /**
   * Stops listening and removes the socket file; the lock goes last. Does not wait for a start
   * being delivered: at the process's exit that could be the application's own code, blocked.
   */
  @Override
  public void close() throws IOException {
    server.close();
    watchdog.shutdownNow();
    Files.deleteIfExists(socket);
    lockFile.close();
  }

  private void serve() {
    while (server.isOpen()) {
      SocketChannel client;
      try {
        client = server.accept();
      } catch (IOException e) {
        if (server.isOpen()) {
          LOG.log(System.Logger.Level.WARNING, "accepting a forwarded start failed", e);
        }
        return;
      }
      Forwarded forwarded = exchange(client);
      if (forwarded != null) {
        deliver(forwarded);
      }
    }
  }

  /** The start's message once it has been acknowledged; null when it was dropped. */
  private Forwarded exchange(SocketChannel client) {
    ScheduledFuture<?> bound = watchdog.schedule(() -> closeQuietly(client), EXCHANGE_MILLIS,
        TimeUnit.MILLISECONDS);
    try (client) {
      ByteBuffer greeting = ByteBuffer.allocate(8).order(ByteOrder.LITTLE_ENDIAN);
      greeting.put(GREETING_MAGIC).putInt((int) ProcessHandle.current().pid()).flip();
      writeAll(client, greeting);
      Forwarded forwarded = MessageReader.read(Channels.newInputStream(client));
      writeAll(client, ByteBuffer.wrap(new byte[] {ACCEPTED}));
      return forwarded;
    } catch (IOException | RuntimeException e) {
      LOG.log(System.Logger.Level.DEBUG, "forwarded start dropped: {0}", e.toString());
      return null;
    } finally {
      bound.cancel(false);
    }
  }

  private void deliver(Forwarded forwarded) {
    try {
      toFront.run();
    } catch (RuntimeException e) {
      LOG.log(System.Logger.Level.WARNING, "the window hook failed", e);
    }
    try {
      receiver.accept(forwarded);
    } catch (RuntimeException e) {
      LOG.log(System.Logger.Level.WARNING, "the receiver of a forwarded start failed", e);
    }
  }

  private static void writeAll(SocketChannel client, ByteBuffer bytes) throws IOException {
    while (bytes.hasRemaining()) {
      client.write(bytes);
    }
  }

  private static void closeQuietly(SocketChannel client) {
    try {
      client.close();
    } catch (IOException e) {
      // The exchange reports the failure it then meets.
    }
  }

  /**
   * Makes the directory when missing (on POSIX with mode 0700) and refuses one that others can
   * reach or that is a link: another user could otherwise connect, or plant a socket for our
   * launcher to talk to.
   */
  private static void privateDirectory(Path directory) throws IOException {
    boolean posix = FileSystems.getDefault().supportedFileAttributeViews().contains("posix");
    if (!Files.isDirectory(directory, LinkOption.NOFOLLOW_LINKS)) {
      if (posix) {
        Files.createDirectories(
            directory,
            PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rwx------")));
      } else {
        Files.createDirectories(directory);
      }
    }
    if (Files.isSymbolicLink(directory)) {
      throw new IOException(directory + " is a symbolic link");
    }
    if (!posix) {
      return;
    }
    String owner = Files.getOwner(directory, LinkOption.NOFOLLOW_LINKS).getName();
    if (!owner.equals(System.getProperty("user.name"))) {
      throw new IOException(directory + " belongs to " + owner);
    }
    Set<PosixFilePermission> permissions =
        Files.getPosixFilePermissions(directory, LinkOption.NOFOLLOW_LINKS);
    for (PosixFilePermission permission : permissions) {
      if (!permission.name().startsWith("OWNER_")) {
        throw new IOException(directory + " is open to other users ("
            + PosixFilePermissions.toString(permissions) + ")");
      }
    }
  }

  private static Thread daemon(Runnable body, String name) {
    Thread thread = new Thread(body, name);
    thread.setDaemon(true);
    return thread;
  }
}
