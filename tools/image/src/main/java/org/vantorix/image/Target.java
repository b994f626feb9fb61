package org.vantorix.image;

import java.nio.file.Path;
import java.util.Arrays;
import java.util.Locale;
import java.util.Map;
import java.util.Optional;
import java.util.stream.Collectors;
import org.vantorix.image.base.Host;

/** What an image is for: the launchers' system and machine, and what follows from them. */
enum Target {
  WINDOWS_X64("windows-x64", true, Machine.X64, "windows-amd64"),
  WINDOWS_X86("windows-x86", true, Machine.X86, "windows-x86"),
  LINUX_X64("linux-x64", false, Machine.X64, "linux-amd64");

  /** Machine types of executables and libraries. */
  enum Machine {
    X64("x64", 64),
    X86("x86", 32),
    ARM64("ARM64", 64),
    ARM("ARM", 32);

    final String label;
    final int bits;

    Machine(String label, int bits) {
      this.label = label;
      this.bits = bits;
    }

    String described() {
      return label + " (" + bits + "-bit)";
    }
  }

  final String label;
  final boolean windows;
  final Machine machine;
  /** java.base's target platform of a Java runtime for this target, as jmod files name it. */
  final String modulePlatform;

  Target(String label, boolean windows, Machine machine, String modulePlatform) {
    this.label = label;
    this.windows = windows;
    this.machine = machine;
    this.modulePlatform = modulePlatform;
  }

  static Optional<Target> named(String label) {
    return Arrays.stream(values()).filter(t -> t.label.equals(label)).findFirst();
  }

  static String labels() {
    return Arrays.stream(values()).map(t -> t.label).collect(Collectors.joining(", "));
  }

  /** The path separator inside the launcher's macro expansions. */
  String separator() {
    return windows ? "\\" : "/";
  }

  /** The class-path and module-path separator of the target. */
  char listSeparator() {
    return windows ? ';' : ':';
  }

  /** The runtime's launch library, relative to the runtime directory. */
  String launchLibrary() {
    return windows ? "bin\\jli.dll" : "lib/libjli.so";
  }

  Path launchLibraryIn(Path runtime) {
    return windows ? runtime.resolve("bin").resolve("jli.dll") : runtime.resolve("lib/libjli.so");
  }

  String launcherName(boolean console) {
    if (!windows) {
      return "VantorixLauncher";
    }
    return console ? "VantorixLauncherConsole.exe" : "VantorixLauncher.exe";
  }

  String executableName(String name) {
    return windows ? name + ".exe" : name;
  }

  /** The platform of the machine the tool runs on, in the form of {@link #modulePlatform}. */
  static String hostPlatform() {
    String os = System.getProperty("os.name", "").toLowerCase(Locale.ROOT);
    String system = Host.WINDOWS ? "windows" : os.split(" ")[0];
    return system + "-" + System.getProperty("os.arch", "");
  }

  /** The platform named by a runtime's release file (OS_NAME, OS_ARCH), as jmod files name it. */
  static String releasePlatform(Map<String, String> release) {
    String os = release.getOrDefault("OS_NAME", "").toLowerCase(Locale.ROOT);
    String arch = release.getOrDefault("OS_ARCH", "");
    if (os.isEmpty() || arch.isEmpty()) {
      return "";
    }
    if (os.startsWith("windows")) {
      os = "windows";
    }
    if (arch.equals("x86_64")) {
      arch = "amd64";
    } else if (arch.matches("i[3-6]86")) {
      arch = "x86";
    }
    return os + "-" + arch;
  }
}
