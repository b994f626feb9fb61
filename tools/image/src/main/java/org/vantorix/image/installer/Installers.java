package org.vantorix.image.installer;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.List;
import java.util.Locale;
import java.util.regex.Pattern;
import org.vantorix.image.base.Guard;
import org.vantorix.image.base.Host;
import org.vantorix.image.base.Programs;
import org.vantorix.image.base.Refusal;
import org.vantorix.image.base.Versions;

/**
 * Setup programs and Debian packages made from an application image. {@link #plan} runs every
 * check before the image is written; {@link #make} then builds the installer from the image.
 */
public final class Installers {

  // A registry key name may hold anything but a backslash; the id is kept to what every tool
  // that handles it (a setup program's script, a shell, a file name) takes as it is.
  private static final Pattern WINDOWS_ID = Pattern.compile("[A-Za-z0-9][A-Za-z0-9._+-]{0,99}");
  // Debian's rule for package names.
  private static final Pattern DEBIAN_ID = Pattern.compile("[a-z0-9][a-z0-9.+-]+");
  // An optional epoch, the numeric version, then a suffix or revision; the version's own digits
  // end where the suffix begins, so 3.3.20 is not 3.3.2 with a suffix.
  private static final Pattern PACKAGE_VERSION =
      Pattern.compile("([0-9]+:)?([0-9.]*[0-9])([-+~][A-Za-z0-9.+~-]*)?");
  private static final Pattern EMAIL = Pattern.compile("[^\\s<>@]+@[^\\s<>@]+");

  // A setup program of a large image compresses for minutes.
  private static final Duration BUILD_TIMEOUT = Duration.ofMinutes(30);

  private Installers() {}

  /** Checks the request; a refusal names the first thing that is wrong. Reads, writes nothing. */
  public static InstallerPlan plan(InstallerRequest request) {
    boolean exe = request.kind() == InstallerKind.EXE;
    if (exe != request.target().startsWith("windows-")) {
      throw new Refusal("--installer " + request.kind().optionValue() + " makes "
          + (exe ? "a Windows setup program" : "a Debian package") + ", but the target is "
          + request.target());
    }
    String version = checkVersion(request.version());
    requireOneLine("--vendor", request.vendor());
    requireOneLine("--description", request.description());
    requireOneLine("--vendor-email", request.vendorEmail());
    String description = request.description() == null || request.description().isBlank()
        ? request.name() : request.description().strip();
    String appId = exe ? windowsId(request) : debianId(request);
    if (exe) {
      Path output = request.outputDirectory().resolve(
          request.name() + "-" + version + "-setup.exe");
      SetupChecks.check(request, output);
      Path makensis = findMakensis(request.makensis());
      return checkedOutput(
          new InstallerPlan(request, version, appId, description, makensis, output));
    }
    if (request.vendor() == null || request.vendor().isBlank() || request.vendorEmail() == null) {
      throw new Refusal("--installer deb needs --vendor and --vendor-email: they make the"
          + " package's Maintainer field");
    }
    if (!EMAIL.matcher(request.vendorEmail()).matches()) {
      throw new Refusal("--vendor-email " + request.vendorEmail() + " is not an e-mail address");
    }
    Path dpkgDeb = Host.onPath("dpkg-deb");
    if (dpkgDeb == null) {
      throw new Refusal("dpkg-deb is not on the PATH: a Debian package is made where dpkg is"
          + " installed");
    }
    if (request.icon() != null) {
      IconFrames.forLinux(request.icon());
    }
    requireOneLine("--copyright", request.copyright());
    String packageVersion = checkPackageVersion(request.packageVersion(), version);
    // The file name carries no epoch.
    Path output = request.outputDirectory().resolve(
        appId + "_" + packageVersion.replaceFirst("^[0-9]+:", "") + "_"
            + DebianPackage.architecture(request.target()) + ".deb");
    InstallerPlan deb = new InstallerPlan(request, version, appId, description, dpkgDeb, output);
    DebianDesktop.check(deb);
    return checkedOutput(deb);
  }

  /**
   * Builds the installer of a checked plan from the image at {@code image} (which may still be
   * where it is staged) and returns the file it wrote, in {@code work} under the installer's name,
   * which {@link #place} puts in its place. Scratch files go to {@code work}, which the caller removes;
   * the program that builds the installer runs under the guard, so that stopping the tool ends
   * it. On a failure the hidden file is gone.
   */
  public static Path build(InstallerPlan plan, Path image, Path work, Guard guard) {
    Path part = partOf(plan, work);
    boolean built = false;
    try {
      Files.createDirectories(plan.output().getParent());
      if (plan.request().kind() == InstallerKind.EXE) {
        SetupProgram.write(plan, image, work, part, guard);
      } else {
        DebianPackage.write(plan, image, work, part, guard);
      }
      built = true;
      return part;
    } catch (IOException e) {
      throw new Refusal("the installer could not be written: " + Refusal.reason(e));
    } catch (UncheckedIOException e) {
      throw new Refusal("the installer could not be written: " + Refusal.reason(e.getCause()));
    } finally {
      if (!built) {
        Host.deleteQuietly(part);
      }
    }
  }

  /**
   * The file that {@link #build} writes: in the work directory (the tool's own) under the
   * installer's final name, so that the sign command signs the file as it is named.
   */
  public static Path partOf(InstallerPlan plan, Path work) {
    return work.resolve(plan.output().getFileName());
  }

  /** Moves a built installer into its place. */
  public static void place(InstallerPlan plan, Path part) {
    try {
      Scratch.moveIntoPlace(part, plan.output());
    } catch (IOException e) {
      throw new Refusal("the installer could not be moved to " + plan.output() + ": "
          + Refusal.reason(e));
    }
  }

  /** Runs the program that builds an installer; a failure is a refusal with its last line. */
  static void build(List<String> command, Path directory, Guard guard, String what) {
    Programs.Result result =
        Programs.run(new ProcessBuilder(command).directory(directory.toFile()), guard,
            BUILD_TIMEOUT, what);
    if (result.code() != 0) {
      throw new Refusal(what + " failed (exit code " + result.code() + ")"
          + (result.silent() ? "" : ": " + result.lastLine()));
    }
  }

  private static String checkVersion(String version) {
    if (version == null) {
      throw new Refusal("--installer needs --version, 1 to 4 numbers joined by dots (like 2.5.1)");
    }
    if (!Versions.valid(version)) {
      throw new Refusal("the installer needs a numeric version: " + version + " is not "
          + Versions.RULE);
    }
    return version;
  }

  /**
   * The package's version: the application's numeric version, optionally after an epoch and
   * followed by a suffix and a Debian revision, in Debian's characters.
   */
  private static String checkPackageVersion(String given, String version) {
    if (given == null) {
      return version;
    }
    java.util.regex.Matcher parts = PACKAGE_VERSION.matcher(given);
    if (!parts.matches() || !parts.group(2).equals(version)) {
      throw new Refusal("--package-version " + given + " is not the version " + version
          + " with a Debian revision or a suffix (like " + version + "-1 or " + version
          + "+repack-1): after the version come '-', '+' or '~' and letters, digits, '.', '+',"
          + " '~' and '-'");
    }
    if (given.endsWith("-")) {
      throw new Refusal("--package-version " + given + " ends with '-': a Debian revision"
          + " follows it");
    }
    return given;
  }

  private static void requireOneLine(String option, String value) {
    if (value != null && value.chars().anyMatch(Character::isISOControl)) {
      throw new Refusal(option + " holds a line break or another control character");
    }
  }

  private static String windowsId(InstallerRequest request) {
    String id = request.appId();
    if (id == null) {
      String name = idWord(request.name());
      String vendor = request.vendor() == null ? "" : idWord(request.vendor());
      id = vendor.isEmpty() ? name : vendor + "." + name;
      if (name.isEmpty()) {
        throw new Refusal("no app id can be made from the name " + request.name()
            + ": give one with --app-id");
      }
    }
    if (!WINDOWS_ID.matcher(id).matches()) {
      throw new Refusal("the app id " + id + " cannot name the uninstall registry key: use up to"
          + " 100 letters, digits, '.', '_', '+' and '-', starting with a letter or digit");
    }
    return id;
  }

  private static String debianId(InstallerRequest request) {
    String id = request.appId();
    if (id == null) {
      id = idWord(request.name()).toLowerCase(Locale.ROOT);
      if (id.length() < 2) {
        throw new Refusal("no package name can be made from the name " + request.name()
            + ": give one with --app-id");
      }
    }
    if (!DEBIAN_ID.matcher(id).matches()) {
      throw new Refusal("the app id " + id + " cannot be a Debian package name: use at least two"
          + " lower-case letters, digits, '.', '+' and '-', starting with a letter or digit");
    }
    return id;
  }

  /** The ASCII letters and digits of a text, with a '-' for each run of anything else. */
  private static String idWord(String text) {
    return text.replaceAll("[^A-Za-z0-9]+", "-").replaceAll("^-+|-+$", "");
  }

  private static Path findMakensis(Path given) {
    if (given != null) {
      if (!Files.isRegularFile(given) || !Files.isExecutable(given)) {
        throw new Refusal("--makensis " + given + " is not an executable file");
      }
      return given.toAbsolutePath();
    }
    Path found = Host.onPath("makensis");
    if (found == null && Host.WINDOWS) {
      for (String variable : new String[] {"ProgramFiles(x86)", "ProgramFiles"}) {
        String directory = System.getenv(variable);
        Path candidate = directory == null ? null : Path.of(directory, "NSIS", "makensis.exe");
        if (candidate != null && Files.isRegularFile(candidate)) {
          return candidate;
        }
      }
    }
    if (found == null) {
      throw new Refusal("makensis is not on the PATH: install NSIS (on Debian: apt-get install"
          + " nsis) or name it with --makensis");
    }
    return found;
  }

  private static InstallerPlan checkedOutput(InstallerPlan plan) {
    if (Files.isDirectory(plan.output())) {
      throw new Refusal("the installer " + plan.output() + " would replace a directory");
    }
    return plan;
  }
}
