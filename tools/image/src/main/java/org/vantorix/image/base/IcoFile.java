package org.vantorix.image.base;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * The frames of an {@code .ico} file as its directory places them, each a PNG file or a bitmap (a
 * header of at least the 40 bytes of BITMAPINFOHEADER). The icon check of branding and the
 * Debian package's icons both read it so.
 */
public final class IcoFile {
  private static final byte[] PNG = {(byte) 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  private static final int BITMAPINFOHEADER_SIZE = 40;

  /** What is wrong with an icon file: the message says it as the end of a sentence. */
  public static final class Problem extends Exception {
    private static final long serialVersionUID = 1L;

    Problem(String message) {
      super(message, null, false, false);
    }
  }

  /** One image of the file: its bytes, and whether they are a PNG file (else a bitmap). */
  public record Frame(int number, byte[] data, boolean png) {}

  /** The frames in the order of the directory. */
  public static List<Frame> frames(byte[] data) throws Problem {
    if (data.length < 6) {
      throw new Problem("too short for an icon header");
    }
    ByteBuffer in = ByteBuffer.wrap(data).order(ByteOrder.LITTLE_ENDIAN);
    int reserved = in.getShort(0) & 0xffff;
    int kind = in.getShort(2) & 0xffff;
    int count = in.getShort(4) & 0xffff;
    if (reserved != 0 || kind != 1) {
      throw new Problem(
          String.format(
              "no icon header (reserved %d, type %d; an .ico file has 0 and 1)", reserved, kind));
    }
    if (count == 0) {
      throw new Problem("it holds no image");
    }
    long directoryEnd = 6L + 16L * count;
    if (data.length < directoryEnd) {
      throw new Problem(
          String.format("the directory of %d images does not fit in the file", count));
    }
    List<Frame> frames = new ArrayList<>();
    for (int index = 0; index < count; index++) {
      int entry = 6 + 16 * index;
      long size = in.getInt(entry + 8) & 0xffffffffL;
      long offset = in.getInt(entry + 12) & 0xffffffffL;
      if (size == 0 || offset < directoryEnd || offset + size > data.length) {
        throw new Problem(String.format("image %d lies outside the file", index + 1));
      }
      byte[] frame = Arrays.copyOfRange(data, (int) offset, (int) (offset + size));
      boolean png = startsWith(frame, 0, PNG);
      if (!png && (size < 4 || in.getInt((int) offset) < BITMAPINFOHEADER_SIZE)) {
        throw new Problem(String.format("image %d is neither a bitmap nor PNG", index + 1));
      }
      frames.add(new Frame(index + 1, frame, png));
    }
    return frames;
  }

  /** Whether the data start with the bytes at the offset. */
  public static boolean startsWith(byte[] data, int at, byte[] prefix) {
    return data.length - at >= prefix.length
        && Arrays.equals(data, at, at + prefix.length, prefix, 0, prefix.length);
  }

  /** The PNG file signature. */
  public static byte[] pngSignature() {
    return PNG.clone();
  }

  private IcoFile() {}
}
