package org.vantorix.image.installer;

import java.awt.image.BufferedImage;
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import javax.imageio.ImageIO;
import org.vantorix.image.base.IcoFile;
import org.vantorix.image.base.Refusal;

/**
 * The square images of an {@code .ico} file as PNG files: a PNG frame as it is, a bitmap frame
 * (32-bit with alpha, 24-bit, or 8, 4 or 1 bit with a palette, each with its transparency mask)
 * decoded and written as PNG.
 */
final class IconFrames {

  private static final int MAX_SIDE = 1024;

  private IconFrames() {}

  /**
   * The PNG data of the icon's square frames by side length; of several frames of one size the one
   * with the most colours.
   */
  static Map<Integer, byte[]> read(Path icon) {
    byte[] data;
    try {
      data = Files.readAllBytes(icon);
    } catch (IOException e) {
      throw new Refusal("the icon " + icon + " cannot be read: " + e.getMessage());
    }
    try {
      return frames(data);
    } catch (RuntimeException | IOException e) {
      if (e instanceof Refusal refusal) {
        throw new Refusal("the icon " + icon + ": " + refusal.getMessage());
      }
      throw new Refusal("the icon " + icon + " is not a readable .ico file: " + e.getMessage());
    }
  }

  /**
   * The icon of a Linux target by side length: a square PNG image of a size of the icon theme as
   * it is, or the frames of an {@code .ico} file.
   */
  static Map<Integer, byte[]> forLinux(Path icon) {
    byte[] head;
    try (java.io.InputStream in = Files.newInputStream(icon)) {
      head = in.readNBytes(8);
    } catch (IOException e) {
      throw new Refusal("the icon " + icon + " cannot be read: " + e.getMessage());
    }
    if (!IcoFile.startsWith(head, 0, IcoFile.pngSignature())) {
      if (head.length < 4 || head[0] != 0 || head[1] != 0 || head[2] != 1 || head[3] != 0) {
        throw new Refusal("the icon " + icon + " is neither a PNG image nor an .ico file: "
            + ACCEPTED);
      }
      return read(icon);
    }
    BufferedImage image;
    byte[] data;
    try {
      data = Files.readAllBytes(icon);
      image = ImageIO.read(new ByteArrayInputStream(data));
    } catch (IOException e) {
      throw new Refusal("the icon " + icon + " cannot be read: " + e.getMessage());
    }
    if (image == null) {
      throw new Refusal("the icon " + icon + " is not a readable PNG image");
    }
    int side = image.getWidth();
    if (side != image.getHeight() || !THEME_SIDES.contains(side)) {
      throw new Refusal("the icon " + icon + " is a PNG image of " + image.getWidth() + "x"
          + image.getHeight() + " pixels: " + ACCEPTED);
    }
    return Map.of(side, data);
  }

  /** The sizes that the desktop's default icon theme looks in. */
  static final java.util.Set<Integer> THEME_SIDES =
      java.util.Set.of(16, 22, 24, 32, 36, 48, 64, 72, 96, 128, 192, 256, 512);

  private static final String ACCEPTED = "linux-x64 takes a square PNG image of 16, 22, 24, 32,"
      + " 36, 48, 64, 72, 96, 128, 192, 256 or 512 pixels, or an .ico file (whose frames of those"
      + " sizes it installs); windows-x64 and windows-x86 take an .ico file";

  private static Map<Integer, byte[]> frames(byte[] data) throws IOException {
    Map<Integer, byte[]> best = new TreeMap<>();
    Map<Integer, Integer> bestDepth = new TreeMap<>();
    List<IcoFile.Frame> frames;
    try {
      frames = IcoFile.frames(data);
    } catch (IcoFile.Problem problem) {
      throw new Refusal(problem.getMessage());
    }
    for (IcoFile.Frame entry : frames) {
      byte[] frame = entry.data();
      BufferedImage image;
      int depth;
      if (entry.png()) {
        image = ImageIO.read(new ByteArrayInputStream(frame));
        if (image == null) {
          throw new Refusal("image " + entry.number() + " is not a readable PNG image");
        }
        depth = 32;
      } else {
        depth = Short.toUnsignedInt(ByteBuffer.wrap(frame).order(ByteOrder.LITTLE_ENDIAN)
            .getShort(14));
        image = bitmap(frame, entry.number());
      }
      int side = image.getWidth();
      if (side != image.getHeight() || depth < bestDepth.getOrDefault(side, 0)) {
        continue;
      }
      bestDepth.put(side, depth);
      best.put(side, entry.png() ? frame : png(image));
    }
    if (best.isEmpty()) {
      throw new Refusal("it holds no square image");
    }
    return best;
  }

  private static BufferedImage bitmap(byte[] frame, int number) {
    ByteBuffer bytes = ByteBuffer.wrap(frame).order(ByteOrder.LITTLE_ENDIAN);
    if (frame.length < 40 || bytes.getInt(0) < 40) {
      throw new Refusal("image " + number + " is neither a bitmap nor PNG");
    }
    int headerSize = bytes.getInt(0);
    int width = bytes.getInt(4);
    int height = bytes.getInt(8) / 2; // the colours, then the transparency mask
    int depth = Short.toUnsignedInt(bytes.getShort(14));
    int compression = bytes.getInt(16);
    int paletteSize = bytes.getInt(32);
    if (width <= 0 || height <= 0 || width > MAX_SIDE || height > MAX_SIDE || compression != 0
        || (depth != 1 && depth != 4 && depth != 8 && depth != 24 && depth != 32)) {
      throw new Refusal("image " + number + " is a bitmap of a kind this tool does not read ("
          + width + "x" + height + ", " + depth + " bits, compression " + compression + ")");
    }
    int colours = depth <= 8 ? (paletteSize == 0 ? 1 << depth : paletteSize) : 0;
    int pixels = headerSize + 4 * colours;
    int stride = ((width * depth + 31) / 32) * 4;
    int maskStride = ((width + 31) / 32) * 4;
    int mask = pixels + stride * height;
    if ((long) mask + (long) maskStride * height > frame.length) {
      throw new Refusal("image " + number + " is shorter than its bitmap header says");
    }
    boolean alpha = depth == 32 && hasAlpha(bytes, pixels, stride, width, height);
    BufferedImage image = new BufferedImage(width, height, BufferedImage.TYPE_INT_ARGB);
    for (int y = 0; y < height; y++) {
      int row = pixels + stride * (height - 1 - y); // rows run from the bottom up
      int maskRow = mask + maskStride * (height - 1 - y);
      for (int x = 0; x < width; x++) {
        int argb;
        if (depth == 32) {
          argb = bytes.getInt(row + 4 * x);
          if (!alpha) {
            argb |= 0xff000000;
          }
        } else if (depth == 24) {
          argb = 0xff000000 | (frame[row + 3 * x + 2] & 0xff) << 16
              | (frame[row + 3 * x + 1] & 0xff) << 8 | frame[row + 3 * x] & 0xff;
        } else {
          int bit = x * depth;
          int index = (frame[row + bit / 8] & 0xff) >> (8 - depth - bit % 8) & ((1 << depth) - 1);
          if (index >= colours) {
            throw new Refusal("image " + number + " uses a colour outside its palette");
          }
          argb = 0xff000000 | bytes.getInt(headerSize + 4 * index) & 0xffffff;
        }
        boolean transparent = (frame[maskRow + x / 8] >> (7 - x % 8) & 1) != 0;
        if (transparent && !alpha) {
          argb = 0;
        }
        image.setRGB(x, y, argb);
      }
    }
    return image;
  }

  // A 32-bit frame whose alpha bytes are all zero is an old one that relies on its mask.
  private static boolean hasAlpha(ByteBuffer bytes, int pixels, int stride, int width, int height) {
    for (int y = 0; y < height; y++) {
      for (int x = 0; x < width; x++) {
        if ((bytes.get(pixels + stride * y + 4 * x + 3)) != 0) {
          return true;
        }
      }
    }
    return false;
  }

  private static byte[] png(BufferedImage image) throws IOException {
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    ImageIO.write(image, "png", out);
    return out.toByteArray();
  }
}
