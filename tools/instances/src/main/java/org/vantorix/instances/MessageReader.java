package org.vantorix.instances;

import java.io.IOException;
import java.io.InputStream;
import java.nio.ByteBuffer;
import java.nio.CharBuffer;
import java.nio.charset.CharacterCodingException;
import java.nio.charset.CodingErrorAction;
import java.nio.charset.StandardCharsets;
import java.nio.file.InvalidPathException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * Reads the message of a forwarded start, as the launcher writes it: "VXF1", the number of texts,
 * then each text as its byte count and its UTF-8 bytes (numbers unsigned 32-bit little-endian).
 * The first text is the working directory, an absolute path; the others are the arguments.
 *
 * <p>Whatever the bytes, the reader allocates at most {@link #MAX_TEXT_BYTES} for the texts and
 * either returns a complete message or throws {@link MalformedMessageException} (an {@link
 * IOException} of the stream passes through as it is).
 */
final class MessageReader {
  static final byte[] MAGIC = {'V', 'X', 'F', '1'};
  /** At most this many texts, the working directory included. */
  static final int MAX_TEXTS = 4096;
  /** At most this many bytes of text in all. */
  static final int MAX_TEXT_BYTES = 1024 * 1024;

  private MessageReader() {}

  static Forwarded read(InputStream in) throws IOException {
    byte[] magic = exactly(in, MAGIC.length, "the magic");
    for (int i = 0; i < MAGIC.length; i++) {
      if (magic[i] != MAGIC[i]) {
        throw new MalformedMessageException("not a forward message");
      }
    }
    long count = number(in, "the number of texts");
    if (count < 1 || count > MAX_TEXTS) {
      throw new MalformedMessageException(count + " texts, not 1 to " + MAX_TEXTS);
    }
    long budget = MAX_TEXT_BYTES;
    List<String> texts = new ArrayList<>();
    for (int i = 0; i < count; i++) {
      long length = number(in, "the length of text " + i);
      if (length > budget) {
        throw new MalformedMessageException("more than " + MAX_TEXT_BYTES + " bytes of text");
      }
      budget -= length;
      texts.add(text(exactly(in, (int) length, "text " + i), i));
    }
    Path directory;
    try {
      directory = Path.of(texts.get(0));
    } catch (InvalidPathException e) {
      throw new MalformedMessageException("the working directory is no path: " + e.getMessage());
    }
    if (!directory.isAbsolute()) {
      throw new MalformedMessageException("the working directory is not absolute");
    }
    return new Forwarded(texts.subList(1, texts.size()), directory);
  }

  private static byte[] exactly(InputStream in, int count, String what) throws IOException {
    byte[] bytes = in.readNBytes(count);
    if (bytes.length != count) {
      throw new MalformedMessageException("the message ends inside " + what);
    }
    return bytes;
  }

  private static long number(InputStream in, String what) throws IOException {
    byte[] bytes = exactly(in, 4, what);
    long value = 0;
    for (int i = 3; i >= 0; i--) {
      value = value << 8 | (bytes[i] & 0xFF);
    }
    return value;
  }

  private static String text(byte[] bytes, int index) throws MalformedMessageException {
    String text;
    try {
      CharBuffer decoded =
          StandardCharsets.UTF_8
              .newDecoder()
              .onMalformedInput(CodingErrorAction.REPORT)
              .onUnmappableCharacter(CodingErrorAction.REPORT)
              .decode(ByteBuffer.wrap(bytes));
      text = decoded.toString();
    } catch (CharacterCodingException e) {
      throw new MalformedMessageException("text " + index + " is not UTF-8");
    }
    // No command line and no path holds one.
    if (text.indexOf('\0') >= 0) {
      throw new MalformedMessageException("text " + index + " holds a NUL character");
    }
    return text;
  }
}
