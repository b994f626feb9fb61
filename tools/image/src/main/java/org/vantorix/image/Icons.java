package org.vantorix.image;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.Arrays;
import java.util.Optional;

/** The image files the tool takes: the icon and the splash image. */
final class Icons {
  private static final byte[] PNG = {(byte) 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  private static final int BITMAPINFOHEADER_SIZE = 40;

  /** Why data is not an .ico file the branding tool takes, or empty. */
  static Optional<String> iconProblem(byte[] data) {
    if (data.length < 6) {
      return Optional.of("too short for an icon header");
    }
    ByteBuffer in = ByteBuffer.wrap(data).order(ByteOrder.LITTLE_ENDIAN);
    int reserved = in.getShort(0) & 0xffff;
    int kind = in.getShort(2) & 0xffff;
    int count = in.getShort(4) & 0xffff;
    if (reserved != 0 || kind != 1) {
      return Optional.of(
          String.format(
              "no icon header (reserved %d, type %d; an .ico file has 0 and 1)", reserved, kind));
    }
    if (count == 0) {
      return Optional.of("it holds no image");
    }
    long directoryEnd = 6L + 16L * count;
    if (data.length < directoryEnd) {
      return Optional.of(
          String.format("the directory of %d images does not fit in the file", count));
    }
    for (int index = 0; index < count; index++) {
      int entry = 6 + 16 * index;
      long size = in.getInt(entry + 8) & 0xffffffffL;
      long offset = in.getInt(entry + 12) & 0xffffffffL;
      if (size == 0 || offset < directoryEnd || offset + size > data.length) {
        return Optional.of(String.format("image %d lies outside the file", index + 1));
      }
      boolean png = size >= PNG.length && startsWith(data, (int) offset, PNG);
      if (!png && (size < 4 || in.getInt((int) offset) != BITMAPINFOHEADER_SIZE)) {
        return Optional.of(String.format("image %d is neither a bitmap nor PNG", index + 1));
      }
    }
    return Optional.empty();
  }

  /** "PNG", "GIF", "JPEG" or "BMP", the formats of the runtime's splash screen, or empty. */
  static Optional<String> splashFormat(byte[] head) {
    if (startsWith(head, 0, PNG)) {
      return Optional.of("PNG");
    }
    if (startsWith(head, 0, "GIF87a".getBytes()) || startsWith(head, 0, "GIF89a".getBytes())) {
      return Optional.of("GIF");
    }
    if (startsWith(head, 0, new byte[] {(byte) 0xff, (byte) 0xd8, (byte) 0xff})) {
      return Optional.of("JPEG");
    }
    if (startsWith(head, 0, "BM".getBytes())) {
      return Optional.of("BMP");
    }
    return Optional.empty();
  }

  private static boolean startsWith(byte[] data, int at, byte[] prefix) {
    return data.length - at >= prefix.length
        && Arrays.equals(data, at, at + prefix.length, prefix, 0, prefix.length);
  }

  private Icons() {}
}
