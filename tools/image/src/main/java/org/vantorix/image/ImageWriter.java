package org.vantorix.image;

import java.io.IOException;
import java.io.PrintWriter;
import java.nio.charset.StandardCharsets;
import java.nio.file.FileSystemException;
import java.nio.file.FileVisitResult;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.SimpleFileVisitor;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.BasicFileAttributes;
import java.nio.file.attribute.PosixFileAttributeView;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.List;
import java.util.Set;
import java.util.UUID;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import org.vantorix.image.installer.InstallerPlan;
import org.vantorix.image.installer.Installers;
import org.vantorix.image.base.Refusal;
import org.vantorix.image.base.Guard;
import org.vantorix.image.base.Host;

/**
 * Writes a checked plan. The image is built in a directory beside the output, and its installer
 * (when one is planned) from there, its scratch files in a second directory beside the output and
 * the installer under a hidden name beside its place; then the image is moved into place, and the
 * installer after it. An image it replaces is moved aside first and removed only once the new one
 * is in place. On any failure or interruption (Ctrl+C, SIGTERM) the program that runs is ended,
 * the old image is back where it was, and nothing of the new one or of its installer is left.
 */
final class ImageWriter {
  private static final long CLEANUP_WAIT_SECONDS = 120;

  private final Plan plan;
  private final InstallerPlan installer;
  private final PrintWriter out;
  private final Guard guard = new Guard();
  private final Object lock = new Object();
  private final List<String> notes = new ArrayList<>();
  private Path staging;
  private Path aside;
  private boolean placed;
  private Path installerWork;
  private Path installerPart;

  private ImageWriter(Plan plan, InstallerPlan installer, PrintWriter out) {
    this.plan = plan;
    this.installer = installer;
    this.out = out;
  }

  /**
   * Writes the image, and the installer when one is planned (null: none), and returns the lines
   * of the closing summary.
   */
  static Written write(Plan plan, InstallerPlan installer, PrintWriter out) {
    ImageWriter writer = new ImageWriter(plan, installer, out);
    return new Written(writer.write(), List.copyOf(writer.notes));
  }

  /** What writing said: the closing summary, and notes besides the plan's. */
  record Written(List<String> summary, List<String> notes) {}

  private List<String> write() {
    Path output = plan.output();
    Path parent = output.getParent();
    CountDownLatch cleaned = new CountDownLatch(1);
    // On a signal the main thread sees the guard at its next step and cleans up; the hook waits
    // for that, and cleans up itself only when the main thread does not come (a long jlink).
    Thread hook =
        new Thread(
            () -> {
              guard.abort();
              try {
                if (!cleaned.await(CLEANUP_WAIT_SECONDS, TimeUnit.SECONDS)) {
                  cleanUp();
                }
              } catch (InterruptedException e) {
                cleanUp();
              }
            },
            "vantorix-image cleanup");
    boolean hooked = addHook(hook);
    try {
      try {
        Files.createDirectories(parent);
        synchronized (lock) {
          staging =
              Files.createTempDirectory(parent, "." + output.getFileName() + ".vantorix-image-");
        }
        PosixFileAttributeView view =
            Files.getFileAttributeView(staging, PosixFileAttributeView.class);
        if (view != null) {
          view.setPermissions(PosixFilePermissions.fromString("rwxr-xr-x"));
        }
      } catch (IOException e) {
        throw Refusal.of("cannot create a directory beside %s: %s", output, Refusal.reason(e));
      }
      List<String> summary;
      try {
        summary = build(staging);
        if (installer != null) {
          buildInstaller(parent);
        }
        place(output, parent);
      } catch (IOException e) {
        throw Refusal.of("writing the image failed: %s", describe(e));
      }
      if (installer != null) {
        synchronized (lock) {
          Installers.place(installer, installerPart);
          installerPart = null;
        }
      }
      return summary;
    } finally {
      cleanUp();
      cleaned.countDown();
      if (hooked) {
        try {
          Runtime.getRuntime().removeShutdownHook(hook);
        } catch (IllegalStateException e) {
          // Shutting down: the hook has run or runs now, and finds everything done.
        }
      }
    }
  }

  /** The installer from the staged image, into its hidden file; scratch files beside the image. */
  private void buildInstaller(Path parent) throws IOException {
    guard.check();
    synchronized (lock) {
      installerWork =
          Files.createTempDirectory(
              parent, "." + plan.output().getFileName() + ".vantorix-installer-");
      // The hidden file is known before it is written, so that a cleanup removes it however far
      // the build came.
      installerPart = Installers.partOf(installer, installerWork);
    }
    Installers.build(installer, staging, installerWork, guard);
    guard.check();
  }

  private static boolean addHook(Thread hook) {
    try {
      Runtime.getRuntime().addShutdownHook(hook);
      return true;
    } catch (IllegalStateException e) {
      return false;
    }
  }

  private List<String> build(Path root) throws IOException {
    Path executable = root.resolve(plan.executable());
    copyFile(plan.launcher(), executable);
    Path app = root.resolve("app");
    copy(plan.inputFiles(), app);
    Files.createDirectories(app);
    Files.write(app.resolve(plan.configName()), plan.configData());
    for (Plan.Extra extra : plan.extraLaunchers()) {
      guard.check();
      Files.copy(extra.launcher(), root.resolve(extra.executable()),
          StandardCopyOption.COPY_ATTRIBUTES);
      Files.write(app.resolve(extra.configName()), extra.configData());
    }
    Path runtime = root.resolve("runtime");
    List<String> summary = new ArrayList<>();
    if (plan.runtime() instanceof Plan.Copied copied) {
      copy(copied.files(), runtime);
      summary.add(
          String.format(
              "vantorix-image: runtime: %s, a copy of %s", size(Trees.size(runtime)),
              copied.directory()));
    } else if (plan.runtime() instanceof Plan.Linked linked) {
      RuntimeLinker.Made made =
          RuntimeLinker.make(linked, plan.target(), runtime, guard, out, plan.verbose());
      if (made.from() != null) {
        copy(Trees.ofRuntime(made.from()), runtime);
      }
      summary.addAll(made.summary());
      notes.addAll(made.notes());
    }
    Files.writeString(root.resolve(OutputCheck.MARK), OutputCheck.markText(plan.configName()),
        StandardCharsets.UTF_8);
    if (plan.branding() != null) {
      guard.check();
      plan.branding().brand(executable, guard);
      guard.check();
      plan.branding().sign(executable, plan.executable(), guard);
      for (Plan.Extra extra : plan.extraLaunchers()) {
        Branding branding = plan.branding().forExecutable(extra.executable());
        guard.check();
        branding.brand(root.resolve(extra.executable()), guard);
        guard.check();
        branding.sign(root.resolve(extra.executable()), extra.executable(), guard);
      }
    }
    guard.check();
    decideModes(root);
    summary.add(String.format("vantorix-image: image: %s", size(Trees.size(root))));
    return summary;
  }

  private void copy(List<Trees.Copy> copies, Path target) throws IOException {
    for (Trees.Copy copy : copies) {
      guard.check();
      Path to = target.resolve(copy.relative().toString());
      if (copy.directory()) {
        Files.createDirectories(to);
      } else {
        copyFile(copy.source(), to);
      }
    }
  }

  // The content and the time (the class-data cache's key holds the jars' times), but neither the
  // owner nor the modes of the input: decideModes sets those.
  private static void copyFile(Path source, Path to) throws IOException {
    Files.copy(source, to);
    Files.setLastModifiedTime(to, Files.getLastModifiedTime(source));
  }

  /**
   * Every directory and file of the image gets the mode that the tool decides, whatever the input
   * had and whatever the umask: rwxr-xr-x for directories and for files that their owner may run,
   * rw-r--r-- for the others. So no setuid, setgid or sticky bit, and no write by group or others.
   */
  static void decideModes(Path root) throws IOException {
    if (Files.getFileAttributeView(root, PosixFileAttributeView.class) == null) {
      return;
    }
    Set<PosixFilePermission> program = PosixFilePermissions.fromString("rwxr-xr-x");
    Set<PosixFilePermission> data = PosixFilePermissions.fromString("rw-r--r--");
    Files.walkFileTree(root, new SimpleFileVisitor<>() {
      @Override
      public FileVisitResult preVisitDirectory(Path directory, BasicFileAttributes attributes)
          throws IOException {
        Files.setPosixFilePermissions(directory, program);
        return FileVisitResult.CONTINUE;
      }

      @Override
      public FileVisitResult visitFile(Path file, BasicFileAttributes attributes)
          throws IOException {
        if (attributes.isRegularFile()) {
          boolean runs = Files.getPosixFilePermissions(file, LinkOption.NOFOLLOW_LINKS)
              .contains(PosixFilePermission.OWNER_EXECUTE);
          Files.setPosixFilePermissions(file, runs ? program : data);
        }
        return FileVisitResult.CONTINUE;
      }
    });
  }

  private void place(Path output, Path parent) throws IOException {
    synchronized (lock) {
      guard.check();
      if (Files.exists(output, LinkOption.NOFOLLOW_LINKS)) {
        Path away = parent.resolve("." + output.getFileName() + ".old-" + UUID.randomUUID());
        Files.move(output, away, StandardCopyOption.ATOMIC_MOVE);
        aside = away;
      }
      Files.move(staging, output, StandardCopyOption.ATOMIC_MOVE);
      staging = null;
      placed = true;
    }
  }

  /** Puts the old image back unless the new one is in place, and removes what is left over. */
  private void cleanUp() {
    Path oldImage;
    Path leftOver;
    synchronized (lock) {
      if (aside != null && !placed) {
        try {
          Files.move(aside, plan.output(), StandardCopyOption.ATOMIC_MOVE);
          aside = null;
        } catch (IOException e) {
          // Kept aside under its name rather than removed.
        }
      }
      oldImage = placed ? aside : null;
      leftOver = staging;
      aside = placed ? null : aside;
      staging = null;
      if (installerPart != null) {
        Host.deleteQuietly(installerPart);
        installerPart = null;
      }
      if (installerWork != null) {
        Host.deleteTree(installerWork);
        installerWork = null;
      }
    }
    if (leftOver != null) {
      Host.deleteTree(leftOver);
    }
    if (oldImage != null) {
      Host.deleteTree(oldImage);
    }
  }

  /** In decimal units, as file managers and du --si show them. */
  static String size(long bytes) {
    if (bytes < 1_000_000) {
      return String.format("%.1f kB", bytes / 1e3);
    }
    return String.format("%.1f MB", bytes / 1e6);
  }

  private static String describe(IOException e) {
    if (e instanceof FileSystemException f && f.getFile() != null) {
      return f.getFile() + ": " + Refusal.reason(e);
    }
    return Refusal.reason(e);
  }
}
