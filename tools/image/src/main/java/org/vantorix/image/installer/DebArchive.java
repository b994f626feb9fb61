package org.vantorix.image.installer;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.zip.Deflater;
import java.util.zip.GZIPInputStream;
import java.util.zip.GZIPOutputStream;

/**
 * Takes the entry of {@code /opt} out of a package that dpkg-deb built (with gzip). /opt belongs
 * to the system: a package that lists it makes dpkg remove it with the package when it is empty,
 * even though the package did not make it, and warn that it is not empty otherwise. dpkg unpacks
 * {@code /opt/<name>} into an /opt that exists; the package's preinst makes it when it is missing.
 */
final class DebArchive {

  private static final String MAGIC = "!<arch>\n";
  private static final int AR_HEADER = 60;
  private static final int BLOCK = 512;

  private DebArchive() {}

  /** Rewrites the package in place without the directory entry {@code ./opt/}. */
  static void dropSystemDirectory(Path deb) throws IOException {
    byte[] data = Files.readAllBytes(deb);
    if (!new String(data, 0, Math.min(8, data.length), StandardCharsets.US_ASCII).equals(MAGIC)) {
      throw new IOException(deb + " is not an ar archive");
    }
    ByteArrayOutputStream out = new ByteArrayOutputStream(data.length);
    out.writeBytes(MAGIC.getBytes(StandardCharsets.US_ASCII));
    int at = MAGIC.length();
    boolean found = false;
    while (at + AR_HEADER <= data.length) {
      String header = new String(data, at, AR_HEADER, StandardCharsets.US_ASCII);
      String name = header.substring(0, 16).strip();
      int size = Integer.parseInt(header.substring(48, 58).strip());
      byte[] member = java.util.Arrays.copyOfRange(data, at + AR_HEADER, at + AR_HEADER + size);
      if (name.equals("data.tar.gz")) {
        member = gzip(withoutOpt(gunzip(member)));
        header = header.substring(0, 48) + String.format("%-10d", member.length)
            + header.substring(58);
        found = true;
      } else if (name.startsWith("data.tar")) {
        throw new IOException("the package's data is " + name + ", not data.tar.gz");
      }
      out.writeBytes(header.getBytes(StandardCharsets.US_ASCII));
      out.writeBytes(member);
      if (member.length % 2 != 0) {
        out.write('\n');
      }
      at += AR_HEADER + size + size % 2;
    }
    if (!found) {
      throw new IOException(deb + " holds no data.tar.gz");
    }
    Files.write(deb, out.toByteArray());
  }

  // The tar records as they are, but the directory "./opt/"'s.
  private static byte[] withoutOpt(byte[] tar) {
    ByteArrayOutputStream out = new ByteArrayOutputStream(tar.length);
    int at = 0;
    while (at + BLOCK <= tar.length) {
      String name = field(tar, at, 100);
      if (name.isEmpty()) {
        out.write(tar, at, tar.length - at);
        break;
      }
      long size = Long.parseLong("0" + field(tar, at + 124, 12).strip(), 8);
      int length = BLOCK + (int) ((size + BLOCK - 1) / BLOCK * BLOCK);
      boolean opt = tar[at + 156] == '5' && (name.equals("./opt/") || name.equals("./opt"));
      if (!opt) {
        out.write(tar, at, length);
      }
      at += length;
    }
    return out.toByteArray();
  }

  private static String field(byte[] block, int offset, int length) {
    int end = offset;
    while (end < offset + length && block[end] != 0) {
      end++;
    }
    return new String(block, offset, end - offset, StandardCharsets.ISO_8859_1);
  }

  private static byte[] gunzip(byte[] data) throws IOException {
    try (GZIPInputStream in = new GZIPInputStream(new ByteArrayInputStream(data))) {
      return in.readAllBytes();
    }
  }

  private static byte[] gzip(byte[] data) throws IOException {
    ByteArrayOutputStream bytes = new ByteArrayOutputStream();
    try (GZIPOutputStream out = new GZIPOutputStream(bytes) {
      {
        def.setLevel(Deflater.BEST_COMPRESSION);
      }
    }) {
      out.write(data);
    }
    return bytes.toByteArray();
  }
}
