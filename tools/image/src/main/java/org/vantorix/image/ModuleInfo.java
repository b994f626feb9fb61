package org.vantorix.image;

import java.io.ByteArrayInputStream;
import java.io.DataInputStream;
import java.io.IOException;
import java.util.Set;
import java.util.TreeSet;

/**
 * What the tool needs of a JDK module's module-info.class: its name, what it requires, whether it
 * exports anything to all modules, and the services it uses and provides.
 *
 * <p>Read from the class file itself rather than with {@link java.lang.module.ModuleDescriptor},
 * which refuses descriptors of a newer Java version than the one running the tool; the Module
 * attribute's layout has not changed since Java 9.
 *
 * @param requires the modules required at run time (not those of {@code requires static})
 */
record ModuleInfo(
    String name, Set<String> requires, boolean exportsToAll, Set<String> uses,
    Set<String> provides) {
  private static final int ACC_STATIC_PHASE = 0x0040;

  static ModuleInfo read(byte[] classFile) throws IOException {
    DataInputStream in = new DataInputStream(new ByteArrayInputStream(classFile));
    if (in.readInt() != 0xCAFEBABE) {
      throw new IOException("not a class file");
    }
    in.readUnsignedShort();
    in.readUnsignedShort();
    int count = in.readUnsignedShort();
    String[] utf8 = new String[count];
    int[] reference = new int[count];
    for (int at = 1; at < count; at++) {
      int tag = in.readUnsignedByte();
      switch (tag) {
        case 1 -> utf8[at] = in.readUTF();
        case 7, 8, 16, 19, 20 -> reference[at] = in.readUnsignedShort();
        case 3, 4, 9, 10, 11, 12, 17, 18 -> in.readInt();
        case 5, 6 -> {
          in.readLong();
          at++;
        }
        case 15 -> {
          in.readUnsignedByte();
          in.readUnsignedShort();
        }
        default -> throw new IOException("unknown constant pool tag " + tag);
      }
    }
    in.readUnsignedShort();
    in.readUnsignedShort();
    in.readUnsignedShort();
    skipTable(in, in.readUnsignedShort(), 2);
    if (in.readUnsignedShort() != 0 || in.readUnsignedShort() != 0) {
      throw new IOException("a module descriptor with fields or methods");
    }
    int attributes = in.readUnsignedShort();
    for (int a = 0; a < attributes; a++) {
      String attribute = utf8[in.readUnsignedShort()];
      int length = in.readInt();
      if (!"Module".equals(attribute)) {
        in.skipNBytes(length);
        continue;
      }
      String name = named(utf8, reference, in.readUnsignedShort());
      in.readUnsignedShort();
      in.readUnsignedShort();
      Set<String> requires = new TreeSet<>();
      for (int n = in.readUnsignedShort(); n > 0; n--) {
        String required = named(utf8, reference, in.readUnsignedShort());
        int flags = in.readUnsignedShort();
        in.readUnsignedShort();
        if ((flags & ACC_STATIC_PHASE) == 0) {
          requires.add(required);
        }
      }
      boolean exportsToAll = false;
      for (int n = in.readUnsignedShort(); n > 0; n--) {
        in.readUnsignedShort();
        in.readUnsignedShort();
        int to = in.readUnsignedShort();
        exportsToAll |= to == 0;
        skipTable(in, to, 2);
      }
      for (int n = in.readUnsignedShort(); n > 0; n--) {
        in.readUnsignedShort();
        in.readUnsignedShort();
        skipTable(in, in.readUnsignedShort(), 2);
      }
      Set<String> uses = new TreeSet<>();
      for (int n = in.readUnsignedShort(); n > 0; n--) {
        uses.add(named(utf8, reference, in.readUnsignedShort()));
      }
      Set<String> provides = new TreeSet<>();
      for (int n = in.readUnsignedShort(); n > 0; n--) {
        provides.add(named(utf8, reference, in.readUnsignedShort()));
        skipTable(in, in.readUnsignedShort(), 2);
      }
      return new ModuleInfo(
          name, Set.copyOf(requires), exportsToAll, Set.copyOf(uses), Set.copyOf(provides));
    }
    throw new IOException("no Module attribute");
  }

  /** The name that a Module, Package or Class constant leads to, with dots. */
  private static String named(String[] utf8, int[] reference, int index) throws IOException {
    if (index <= 0 || index >= reference.length || utf8[reference[index]] == null) {
      throw new IOException("a bad constant pool index " + index);
    }
    return utf8[reference[index]].replace('/', '.');
  }

  private static void skipTable(DataInputStream in, int entries, int size) throws IOException {
    in.skipNBytes((long) entries * size);
  }
}
