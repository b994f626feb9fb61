package org.vantorix.image;

import java.io.IOException;
import java.io.PrintWriter;
import java.io.StringWriter;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.Optional;
import java.time.Duration;
import java.util.spi.ToolProvider;
import org.vantorix.image.base.Guard;
import org.vantorix.image.base.Programs;
import org.vantorix.image.base.Refusal;

/**
 * The JDK that a runtime is linked from: where its modules are, which platform and version they
 * are for, and how its tools run (in this process when it is the JDK running the tool, else as
 * its own programs).
 *
 * @param home the JDK's directory
 * @param jmods the directory of java.base.jmod and the others, or null to link from the JDK's own
 *     run-time image
 * @param external whether its tools run as programs of their own
 * @param platform java.base's target platform, such as linux-amd64
 * @param version java.base's version
 */
record Jdk(Path home, Path jmods, boolean external, String platform, Runtime.Version version) {
  private static final Duration TOOL_TIMEOUT = Duration.ofMinutes(10);

  /** The JDK of --jdk (or the one running the tool) with the jmods of --jmods (or its own). */
  static Jdk find(String jdkOption, String jmodsOption) {
    Path running = Path.of(System.getProperty("java.home")).toAbsolutePath();
    Path home = jdkOption == null ? running : Path.of(jdkOption).toAbsolutePath().normalize();
    if (!Files.isDirectory(home)) {
      throw Refusal.of("the JDK directory %s does not exist", home);
    }
    boolean external = jdkOption != null && !sameFile(home, running);
    if (external && !Files.isRegularFile(tool(home, "jlink"))) {
      throw Refusal.of("the JDK %s has no bin/jlink: give --jdk the directory of a JDK", home);
    }
    if (!external && ToolProvider.findFirst("jlink").isEmpty()) {
      throw Refusal.of(
          "the Java runtime %s that runs this tool has no jlink: run the tool with a JDK, or give"
              + " --jdk DIR or --runtime DIR",
          running);
    }
    Path jmods = null;
    if (jmodsOption != null) {
      jmods = Path.of(jmodsOption).toAbsolutePath().normalize();
      if (!Files.isRegularFile(jmods.resolve("java.base.jmod"))) {
        throw Refusal.of(
            "the jmods directory %s has no java.base.jmod: give --jmods the jmods directory of a"
                + " JDK",
            jmods);
      }
    } else if (Files.isRegularFile(home.resolve("jmods/java.base.jmod"))) {
      jmods = home.resolve("jmods");
    }
    String platform;
    Runtime.Version version;
    if (jmods != null) {
      Path base = jmods.resolve("java.base.jmod");
      Programs.Result described =
          run(home, external, "jmod", List.of("describe", base.toString()), new Guard());
      if (described.code() != 0) {
        throw Refusal.of("%s cannot be read: %s", base, described.lastLine());
      }
      platform = field(described.out(), "platform ").orElse("");
      version =
          parseVersion(
              described.out().lines().findFirst().orElse("").replaceFirst("^java\\.base@", ""),
              base);
    } else {
      Map<String, String> release = release(home);
      platform = Target.releasePlatform(release);
      version = parseVersion(release.getOrDefault("JAVA_VERSION", ""), home.resolve("release"));
    }
    if (platform.isEmpty()) {
      throw Refusal.of(
          "the JDK modules of %s name no target platform", jmods != null ? jmods : home);
    }
    return new Jdk(home, jmods, external, platform, version);
  }

  /** The modules' directory as messages name it. */
  Path modules() {
    return jmods != null ? jmods : home;
  }

  /** Refuses modules of another platform than the launchers', and jmods that jlink cannot link. */
  void check(Target target) {
    if (!platform.equals(target.modulePlatform)) {
      throw Refusal.of(
          "the JDK modules in %s are for %s, but the launchers are for %s (%s): give --jmods DIR"
              + " with the jmods of a %s JDK, or --runtime DIR",
          modules(), platform, target.label, target.modulePlatform, target.modulePlatform);
    }
    int own = external ? version.feature() : Runtime.version().feature();
    if (version.feature() != own) {
      throw Refusal.of(
          "the JDK modules in %s are Java %d, but jlink of Java %d links only its own version:"
              + " run the tool on Java %d, or give --jdk DIR of that version",
          modules(), version.feature(), own, version.feature());
    }
  }

  /** Whether a runtime linked from here runs on this machine: then it gets a class-data archive. */
  boolean forThisMachine() {
    return platform.equals(Target.hostPlatform());
  }

  /** Whether the JDK has a module of the name. */
  boolean hasModule(String name) {
    if (jmods != null) {
      return Files.isRegularFile(jmods.resolve(name + ".jmod"));
    }
    if (!external) {
      return java.lang.module.ModuleFinder.ofSystem().find(name).isPresent();
    }
    return true;
  }

  Programs.Result run(String tool, List<String> args) {
    return run(tool, args, new Guard());
  }

  /** Runs one of the JDK's tools; when it runs as a program, under the guard. */
  Programs.Result run(String tool, List<String> args, Guard guard) {
    return run(home, external, tool, args, guard);
  }

  private static Programs.Result run(
      Path home, boolean external, String name, List<String> args, Guard guard) {
    if (!external) {
      ToolProvider tool =
          ToolProvider.findFirst(name)
              .orElseThrow(() -> Refusal.of("this Java runtime has no %s", name));
      StringWriter out = new StringWriter();
      StringWriter err = new StringWriter();
      int code;
      try (PrintWriter o = new PrintWriter(out);
          PrintWriter e = new PrintWriter(err)) {
        code = tool.run(o, e, args.toArray(String[]::new));
      } catch (RuntimeException e) {
        return new Programs.Result(1, "", e.toString());
      }
      return new Programs.Result(code, out.toString(), err.toString());
    }
    List<String> command = new ArrayList<>();
    command.add(tool(home, name).toString());
    command.addAll(args);
    return Programs.run(new ProcessBuilder(command), guard, TOOL_TIMEOUT, name);
  }

  private static Path tool(Path home, String name) {
    Path unix = home.resolve("bin").resolve(name);
    Path windows = home.resolve("bin").resolve(name + ".exe");
    return Files.exists(windows) && !Files.exists(unix) ? windows : unix;
  }

  private static Optional<String> field(String text, String prefix) {
    return text.lines()
        .map(String::strip)
        .filter(l -> l.startsWith(prefix))
        .map(l -> l.substring(prefix.length()).strip())
        .findFirst();
  }

  private static Runtime.Version parseVersion(String text, Path source) {
    try {
      return Runtime.Version.parse(text.strip());
    } catch (IllegalArgumentException e) {
      throw Refusal.of("%s names no Java version that can be read (%s)", source, text.strip());
    }
  }

  /** The properties of a runtime's release file, values unquoted. */
  static Map<String, String> release(Path home) {
    Path file = home.resolve("release");
    Map<String, String> properties = new HashMap<>();
    try {
      for (String line : Files.readAllLines(file, StandardCharsets.UTF_8)) {
        int equals = line.indexOf('=');
        if (equals > 0) {
          properties.put(
              line.substring(0, equals).strip(),
              line.substring(equals + 1).strip().replaceAll("^\"|\"$", ""));
        }
      }
    } catch (IOException e) {
      throw Refusal.of(
          "the JDK %s has neither jmods nor a readable release file: %s", home, Refusal.reason(e));
    }
    return properties;
  }

  private static boolean sameFile(Path a, Path b) {
    try {
      return Files.isSameFile(a, b);
    } catch (IOException e) {
      return false;
    }
  }
}
