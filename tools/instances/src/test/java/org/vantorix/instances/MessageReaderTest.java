package org.vantorix.instances;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.List;
import java.util.Random;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/** The reader of forward messages: what it takes, what it drops, and that nothing else escapes. */
class MessageReaderTest {
  private static Forwarded read(byte[] message) throws IOException {
    return MessageReader.read(new ByteArrayInputStream(message));
  }

  @Test
  void readsTheDirectoryAndTheArgumentsExactly() throws IOException {
    Forwarded forwarded = read(Messages.forward("/home/a b", "two words", "Grüße ✓ 𝄞", "", "-x"));
    assertEquals(Path.of("/home/a b"), forwarded.workingDirectory());
    assertEquals(List.of("two words", "Grüße ✓ 𝄞", "", "-x"), forwarded.arguments());
    assertEquals(List.of(), read(Messages.forward("/")).arguments());
  }

  @Test
  void takesTheBoundsThemselves() throws IOException {
    String[] many = new String[MessageReader.MAX_TEXTS - 1];
    Arrays.fill(many, "a");
    assertEquals(MessageReader.MAX_TEXTS - 1, read(Messages.forward("/", many)).arguments().size());
    String big = "x".repeat(MessageReader.MAX_TEXT_BYTES - 1);
    assertEquals(big, read(Messages.forward("/", big)).arguments().get(0));
  }

  static Stream<Arguments> malformed() {
    String[] tooMany = new String[MessageReader.MAX_TEXTS];
    Arrays.fill(tooMany, "a");
    byte[] valid = Messages.forward("/tmp", "one");
    return Stream.of(
        Arguments.of("empty", new byte[0]),
        Arguments.of("another magic", Messages.bytes("VXG1", 1, 1, "/")),
        Arguments.of("the magic cut short", Messages.bytes("VX")),
        Arguments.of("no texts", Messages.bytes("VXF1", 0)),
        Arguments.of("too many texts", Messages.forward("/", tooMany)),
        Arguments.of("a count near 2^32", Messages.bytes("VXF1", 0xFFFFFFFFL)),
        Arguments.of("a length past the bound", Messages.bytes("VXF1", 1, 0xFFFFFFF0L)),
        Arguments.of("lengths that add up past the bound",
            Messages.bytes("VXF1", 2, MessageReader.MAX_TEXT_BYTES - 1,
                "/" + "a".repeat(MessageReader.MAX_TEXT_BYTES - 2), 2, "ab")),
        Arguments.of("ends inside a length", Messages.bytes("VXF1", 1, new byte[] {1, 0})),
        Arguments.of("ends inside a text", Messages.bytes("VXF1", 1, 5, "/tm")),
        Arguments.of("ends before the last text", Arrays.copyOf(valid, valid.length - 3)),
        Arguments.of("not UTF-8", Messages.bytes("VXF1", 2, 1, "/", 2, new byte[] {(byte) 0xC3, 'x'})),
        Arguments.of("an encoded surrogate",
            Messages.bytes("VXF1", 2, 1, "/", 3, new byte[] {(byte) 0xED, (byte) 0xA0, (byte) 0x80})),
        Arguments.of("a NUL character", Messages.forward("/", "a\0b")),
        Arguments.of("a relative directory", Messages.forward("tmp", "a")),
        Arguments.of("an empty directory", Messages.forward("", "a")),
        Arguments.of("a directory with NUL", Messages.forward("/a\0", "a")));
  }

  @ParameterizedTest(name = "{0}")
  @MethodSource("malformed")
  void dropsWhatBreaksTheLayoutOrTheBounds(String what, byte[] message) {
    assertThrows(MalformedMessageException.class, () -> read(message), what);
  }

  @Test
  void anyMutationOfAMessageIsReadOrDroppedAndNothingElse() {
    Random random = new Random(40);
    byte[] seed = Messages.forward("/home/user/docs", "a b", "Grüße", "--flag=1");
    int read = 0;
    for (int round = 0; round < 20_000; round++) {
      byte[] message = Arrays.copyOf(seed, seed.length + random.nextInt(8) - 4);
      for (int flips = 1 + random.nextInt(4); flips > 0; flips--) {
        int at = random.nextInt(message.length);
        message[at] = random.nextInt(3) == 0 ? (byte) 0xFF : (byte) random.nextInt(256);
      }
      try {
        Forwarded forwarded = read(message);
        assertTrue(forwarded.workingDirectory().isAbsolute());
        read++;
      } catch (MalformedMessageException expected) {
        // dropped
      } catch (IOException | RuntimeException e) {
        fail("round " + round + ": " + Arrays.toString(message), e);
      }
    }
    assertTrue(read > 0, "some mutations are still messages");
  }
}
