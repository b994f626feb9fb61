package org.vantorix.image;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.Optional;
import org.junit.jupiter.api.Test;

class IconsTest {
  /** An .ico file of one frame: a bitmap header or a PNG signature, at the offset given. */
  static byte[] icon(int count, int size, int offset, boolean png) {
    ByteBuffer data = ByteBuffer.allocate(6 + 16 * count + 64).order(ByteOrder.LITTLE_ENDIAN);
    data.putShort(0, (short) 0).putShort(2, (short) 1).putShort(4, (short) count);
    data.putInt(6 + 8, size).putInt(6 + 12, offset);
    if (png) {
      data.put(offset, new byte[] {(byte) 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'});
    } else {
      data.putInt(offset, 40);
    }
    return data.array();
  }

  @Test
  void problemsOfIconFiles() {
    assertEquals(Optional.empty(), Icons.iconProblem(icon(1, 40, 22, false)));
    assertEquals(Optional.empty(), Icons.iconProblem(icon(1, 16, 22, true)));
    assertEquals(Optional.of("too short for an icon header"), Icons.iconProblem(new byte[4]));
    assertEquals(Optional.of("no icon header (reserved 0, type 2; an .ico file has 0 and 1)"),
        Icons.iconProblem(new byte[] {0, 0, 2, 0, 1, 0}));
    assertEquals(Optional.of("it holds no image"), Icons.iconProblem(new byte[] {0, 0, 1, 0, 0, 0}));
    assertEquals(Optional.of("the directory of 9 images does not fit in the file"),
        Icons.iconProblem(new byte[] {0, 0, 1, 0, 9, 0, 0, 0}));
    assertEquals(Optional.of("image 1 lies outside the file"),
        Icons.iconProblem(icon(1, 400, 22, false)));
    assertEquals(Optional.of("image 1 is neither a bitmap nor PNG"),
        Icons.iconProblem(zeroFrame()));
  }

  private static byte[] zeroFrame() {
    byte[] data = icon(1, 40, 22, false);
    data[22] = 0;
    return data;
  }

  @Test
  void splashFormats() {
    assertEquals(Optional.of("PNG"), Icons.splashFormat(new byte[] {(byte) 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}));
    assertEquals(Optional.of("GIF"), Icons.splashFormat("GIF89a....".getBytes()));
    assertEquals(Optional.of("JPEG"), Icons.splashFormat(new byte[] {(byte) 0xff, (byte) 0xd8, (byte) 0xff, 0}));
    assertEquals(Optional.of("BMP"), Icons.splashFormat("BM....".getBytes()));
    assertEquals(Optional.empty(), Icons.splashFormat("text".getBytes()));
  }
}
