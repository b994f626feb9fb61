package org.vantorix.instances;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.net.StandardProtocolFamily;
import java.net.UnixDomainSocketAddress;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.List;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The instance's end of the endpoint, against clients that play the launcher. */
class ListenerTest {
  @TempDir Path temp;

  private final LinkedBlockingQueue<Object> events = new LinkedBlockingQueue<>();

  private Listener listen(Path socket) throws IOException {
    return Listener.start(socket, events::add, () -> events.add("front"));
  }

  /** Connects, reads the greeting, sends the bytes; the answer byte, or -1 when it closed. */
  private int forward(Path socket, byte[] message) throws IOException {
    try (SocketChannel client = SocketChannel.open(UnixDomainSocketAddress.of(socket))) {
      ByteBuffer greeting = ByteBuffer.allocate(8).order(ByteOrder.LITTLE_ENDIAN);
      while (greeting.hasRemaining() && client.read(greeting) >= 0) {}
      greeting.flip();
      byte[] magic = new byte[4];
      greeting.get(magic);
      assertArrayEquals(new byte[] {'V', 'X', 'I', '1'}, magic);
      assertEquals((int) ProcessHandle.current().pid(), greeting.getInt());
      client.write(ByteBuffer.wrap(message));
      client.shutdownOutput();
      ByteBuffer answer = ByteBuffer.allocate(1);
      return client.read(answer) == 1 ? answer.get(0) : -1;
    }
  }

  private Object next() throws InterruptedException {
    return events.poll(10, TimeUnit.SECONDS);
  }

  @Test
  void deliversEachStartAfterTheWindowHookAndDropsBrokenOnes() throws Exception {
    Path socket = temp.resolve("run").resolve("Demo.sock");
    try (Listener listener = listen(socket)) {
      assertNotNull(listener);
      assertEquals("rwx------",
          PosixFilePermissions.toString(Files.getPosixFilePermissions(socket.getParent())));

      assertEquals('A', forward(socket, Messages.forward("/work", "a b", "Ünïcode")));
      assertEquals("front", next());
      assertEquals(new Forwarded(List.of("a b", "Ünïcode"), Path.of("/work")), next());

      assertEquals(-1, forward(socket, Messages.bytes("VXF1", 1, 9, "/x")));
      // A client that sends nothing is cut off at the bound; the next one is served.
      try (SocketChannel idle = SocketChannel.open(UnixDomainSocketAddress.of(socket))) {
        assertTrue(idle.isConnected());
        assertEquals('A', forward(socket, Messages.forward("/next")));
      }
      assertEquals("front", next());
      assertEquals(Path.of("/next"), ((Forwarded) next()).workingDirectory());
      assertTrue(events.isEmpty(), events::toString);
    }
    assertTrue(Files.notExists(socket), "the socket file goes with the listener");
  }

  @Test
  void aReceiverThatThrowsDoesNotStopLaterStarts() throws Exception {
    Path socket = temp.resolve("Demo.sock");
    Files.setPosixFilePermissions(temp, PosixFilePermissions.fromString("rwx------"));
    try (Listener listener = Listener.start(socket, f -> {
          events.add(f);
          throw new IllegalStateException("receiver fails");
        }, () -> {})) {
      assertNotNull(listener);
      forward(socket, Messages.forward("/one"));
      forward(socket, Messages.forward("/two"));
      assertEquals(Path.of("/one"), ((Forwarded) next()).workingDirectory());
      assertEquals(Path.of("/two"), ((Forwarded) next()).workingDirectory());
    }
  }

  @Test
  void replacesTheSocketOfACrashedInstanceAndKeepsOutASecondOne() throws Exception {
    Files.setPosixFilePermissions(temp, PosixFilePermissions.fromString("rwx------"));
    Path socket = temp.resolve("Demo.sock");
    // A bound socket whose process is gone: the file stays, nothing listens.
    ServerSocketChannel crashed = ServerSocketChannel.open(StandardProtocolFamily.UNIX);
    crashed.bind(UnixDomainSocketAddress.of(socket));
    crashed.close();
    assertTrue(Files.exists(socket));

    try (Listener first = listen(socket)) {
      assertNotNull(first);
      assertNull(listen(socket), "the lock keeps a second listener out");
      assertEquals('A', forward(socket, Messages.forward("/after")));
      assertEquals("front", next());
    }
  }

  @Test
  void refusesADirectoryThatOthersCanReach() throws IOException {
    Path open = Files.createDirectory(temp.resolve("open"));
    Files.setPosixFilePermissions(open, PosixFilePermissions.fromString("rwxrwxrwx"));
    IOException refused = assertThrows(IOException.class, () -> listen(open.resolve("Demo.sock")));
    assertTrue(refused.getMessage().contains("open to other users"), refused.getMessage());
  }
}
