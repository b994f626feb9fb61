package org.vantorix.image;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.Optional;
import org.vantorix.image.base.IcoFile;

/** The image files the tool takes: the icon and the splash image. */
final class Icons {
  private static final int BITMAPINFOHEADER_SIZE = 40;

  /** Why data is not an .ico file the branding tool takes, or empty. */
  static Optional<String> iconProblem(byte[] data) {
    try {
      for (IcoFile.Frame frame : IcoFile.frames(data)) {
        int header = ByteBuffer.wrap(frame.data()).order(ByteOrder.LITTLE_ENDIAN).getInt(0);
        // The branding tool takes the bitmaps of BITMAPINFOHEADER only.
        if (!frame.png() && header != BITMAPINFOHEADER_SIZE) {
          return Optional.of(
              String.format(
                  "image %d is a bitmap with a header of %d bytes; the branding tool takes %d",
                  frame.number(), header, BITMAPINFOHEADER_SIZE));
        }
      }
      return Optional.empty();
    } catch (IcoFile.Problem problem) {
      return Optional.of(problem.getMessage());
    }
  }

  /** "PNG", "GIF", "JPEG" or "BMP", the formats of the runtime's splash screen, or empty. */
  static Optional<String> splashFormat(byte[] head) {
    if (IcoFile.startsWith(head, 0, IcoFile.pngSignature())) {
      return Optional.of("PNG");
    }
    if (IcoFile.startsWith(head, 0, "GIF87a".getBytes())
        || IcoFile.startsWith(head, 0, "GIF89a".getBytes())) {
      return Optional.of("GIF");
    }
    if (IcoFile.startsWith(head, 0, new byte[] {(byte) 0xff, (byte) 0xd8, (byte) 0xff})) {
      return Optional.of("JPEG");
    }
    if (IcoFile.startsWith(head, 0, "BM".getBytes())) {
      return Optional.of("BMP");
    }
    return Optional.empty();
  }

  private Icons() {}
}
