package org.vantorix.image;

import java.io.IOException;
import java.io.InputStream;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Optional;
import org.vantorix.image.base.Refusal;

/** The machine types of executables and libraries, and the launchers of each target. */
final class Binaries {
  /** A machine type as read from a file: a known one, or a description of another. */
  record Found(Target.Machine machine, String other) {
    String described() {
      return machine != null ? machine.described() : other;
    }
  }

  /** The machine of a file of the target's format (PE or ELF), or empty when it is no such file. */
  static Optional<Found> machineOf(Path path, Target target) {
    return target.windows ? peMachine(path) : elfMachine(path);
  }

  static Optional<Found> peMachine(Path path) {
    byte[] header = read(path, 0, 64);
    if (header.length < 64 || header[0] != 'M' || header[1] != 'Z') {
      return Optional.empty();
    }
    long peOffset =
        ByteBuffer.wrap(header).order(ByteOrder.LITTLE_ENDIAN).getInt(0x3c) & 0xffffffffL;
    byte[] signature = read(path, peOffset, 6);
    if (signature.length < 6
        || signature[0] != 'P'
        || signature[1] != 'E'
        || signature[2] != 0
        || signature[3] != 0) {
      return Optional.empty();
    }
    int machine = ByteBuffer.wrap(signature).order(ByteOrder.LITTLE_ENDIAN).getShort(4) & 0xffff;
    return Optional.of(
        switch (machine) {
          case 0x8664 -> new Found(Target.Machine.X64, null);
          case 0x14c -> new Found(Target.Machine.X86, null);
          case 0xaa64 -> new Found(Target.Machine.ARM64, null);
          case 0x1c4 -> new Found(Target.Machine.ARM, null);
          default -> new Found(null, String.format("machine 0x%04x", machine));
        });
  }

  static Optional<Found> elfMachine(Path path) {
    byte[] header = read(path, 0, 20);
    if (header.length < 20
        || header[0] != 0x7f
        || header[1] != 'E'
        || header[2] != 'L'
        || header[3] != 'F'
        || (header[5] != 1 && header[5] != 2)) {
      return Optional.empty();
    }
    ByteOrder order = header[5] == 1 ? ByteOrder.LITTLE_ENDIAN : ByteOrder.BIG_ENDIAN;
    int machine = ByteBuffer.wrap(header).order(order).getShort(18) & 0xffff;
    int elfClass = header[4];
    Target.Machine known = null;
    if (elfClass == 2 && machine == 62) {
      known = Target.Machine.X64;
    } else if (elfClass == 1 && machine == 3) {
      known = Target.Machine.X86;
    } else if (elfClass == 2 && machine == 183) {
      known = Target.Machine.ARM64;
    } else if (elfClass == 1 && machine == 40) {
      known = Target.Machine.ARM;
    }
    return Optional.of(
        new Found(known, String.format("ELF class %d machine %d", elfClass, machine)));
  }

  private static byte[] read(Path path, long offset, int size) {
    try (InputStream in = Files.newInputStream(path)) {
      if (in.skip(offset) != offset) {
        return new byte[0];
      }
      return in.readNBytes(size);
    } catch (IOException | RuntimeException e) {
      return new byte[0];
    }
  }

  /** The target of the launchers in a directory: the archive the tool came in decides. */
  static Target defaultTarget(Path launchers) {
    List<Target> found = new ArrayList<>();
    for (Target target : Target.values()) {
      Path path = launchers.resolve(target.launcherName(false));
      if (Files.isRegularFile(path)
          && machineOf(path, target).map(f -> f.machine() == target.machine).orElse(false)) {
        found.add(target);
      }
    }
    if (found.size() == 1) {
      return found.get(0);
    }
    if (found.isEmpty()) {
      throw Refusal.of(
          "no launcher in %s: give --launchers DIR, the directory that holds "
              + "VantorixLauncher.exe or VantorixLauncher",
          launchers);
    }
    throw Refusal.of("launchers of several targets in %s: give --target", launchers);
  }

  /** The launcher executable for the target, checked for its machine type. */
  static Path findLauncher(Path launchers, Target target, boolean console) {
    Path path = launchers.resolve(target.launcherName(console));
    if (!Files.isRegularFile(path)) {
      throw Refusal.of(
          "no launcher %s in %s: give --launchers DIR, the directory of the %s launchers",
          target.launcherName(console), launchers, target.label);
    }
    Optional<Found> machine = machineOf(path, target);
    if (machine.map(Found::machine).orElse(null) != target.machine) {
      throw Refusal.of(
          "the launcher %s is %s, but %s needs %s: give --launchers DIR with the %s launchers",
          path,
          machine
              .map(Found::described)
              .orElse("not a " + (target.windows ? "windows" : "linux") + " executable"),
          target.label,
          target.machine.described(),
          target.label);
    }
    return path;
  }

  /**
   * The runtime must have the target's launch library of the launcher's machine type: the launcher
   * loads it into its own process.
   */
  static void checkRuntime(Path runtime, Target target, Path launcher) {
    if (!Files.isDirectory(runtime)) {
      throw Refusal.of("the runtime directory %s does not exist", runtime);
    }
    Path library = target.launchLibraryIn(runtime);
    if (!Files.isRegularFile(library)) {
      throw Refusal.of(
          "the runtime %s has no %s: it is not a Java runtime for %s",
          runtime, target.launchLibrary(), target.label);
    }
    Found machine =
        machineOf(library, target)
            .orElseThrow(
                () ->
                    Refusal.of(
                        "the runtime's %s is not a %s library",
                        library, target.windows ? "PE" : "ELF"));
    if (machine.machine() != target.machine) {
      throw Refusal.of(
          "the runtime's %s is %s, but the launcher %s is %s: they must match",
          target.launchLibrary(),
          machine.described(),
          launcher.getFileName(),
          target.machine.described());
    }
  }

  private Binaries() {}
}
