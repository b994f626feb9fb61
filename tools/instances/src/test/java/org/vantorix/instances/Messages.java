package org.vantorix.instances;

import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
import java.util.List;

/** Forward messages as the launcher writes them, and pieces of them. */
final class Messages {
  private Messages() {}

  static byte[] forward(String directory, String... arguments) {
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    out.writeBytes(MessageReader.MAGIC);
    out.writeBytes(number(arguments.length + 1));
    for (String text : concat(directory, arguments)) {
      byte[] bytes = text.getBytes(StandardCharsets.UTF_8);
      out.writeBytes(number(bytes.length));
      out.writeBytes(bytes);
    }
    return out.toByteArray();
  }

  static byte[] number(long value) {
    return new byte[] {
      (byte) value, (byte) (value >> 8), (byte) (value >> 16), (byte) (value >> 24)
    };
  }

  static byte[] bytes(Object... pieces) {
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    for (Object piece : pieces) {
      if (piece instanceof byte[] raw) {
        out.writeBytes(raw);
      } else if (piece instanceof Long number) {
        out.writeBytes(number(number));
      } else if (piece instanceof Integer number) {
        out.writeBytes(number(number));
      } else {
        out.writeBytes(piece.toString().getBytes(StandardCharsets.ISO_8859_1));
      }
    }
    return out.toByteArray();
  }

  private static List<String> concat(String first, String... rest) {
    String[] all = new String[rest.length + 1];
    all[0] = first;
    System.arraycopy(rest, 0, all, 1, rest.length);
    return List.of(all);
  }
}
