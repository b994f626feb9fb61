package org.vantorix.image;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.DirectoryStream;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.FileTime;
import java.nio.file.attribute.PosixFileAttributeView;
import java.nio.file.attribute.PosixFileAttributes;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.nio.file.attribute.UserPrincipal;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.time.Instant;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.HexFormat;
import java.util.List;
import java.util.Set;
import java.util.UUID;
import org.vantorix.image.base.Refusal;
import org.vantorix.image.base.Host;

/**
 * The user's cache of linked runtimes, so that an image whose runtime would be linked the same
 * way again (the same JDK, modules and link options) takes a copy instead: a changed JVM option,
 * icon or name does not link again.
 *
 * <p>The cache is a directory of the user's own, which no one else may write ("runtimes" in
 * $XDG_CACHE_HOME/vantorix-image, ~/.cache/vantorix-image, or %LOCALAPPDATA%\vantorix-image on
 * Windows). Each runtime is linked into a directory of its own beside the entries and renamed to
 * its key only once it is complete, so an entry is either whole or absent. The newest {@value
 * #KEPT} entries are kept.
 */
final class RuntimeCache {
  static final int KEPT = 6;
  /** Changes whenever what the tool does to a linked runtime changes. */
  private static final String FORMAT = "vantorix-image runtime 1";
  private static final String STAGING = ".linking-";
  static final String COMPLETE = "complete";

  private final Path directory;

  private RuntimeCache(Path directory) {
    this.directory = directory;
  }

  /** The user's cache directory, made when missing: unset when it cannot be used safely. */
  static Result open() {
    return open(defaultRoot());
  }

  /** The cache below {@code root} (null: no place for one). */
  static Result open(Path root) {
    if (root == null) {
      return new Result(null, "no home directory to keep the runtime cache in");
    }
    Path runtimes = root.resolve("runtimes");
    try {
      createPrivate(root);
      createPrivate(runtimes);
      String unsafe = unsafe(root);
      if (unsafe == null) {
        unsafe = unsafe(runtimes);
      }
      if (unsafe != null) {
        return new Result(null, unsafe);
      }
    } catch (IOException e) {
      return new Result(null, "the runtime cache " + runtimes + " cannot be made: "
          + Refusal.reason(e));
    }
    return new Result(new RuntimeCache(runtimes), null);
  }

  /** The cache, or why there is none. */
  record Result(RuntimeCache cache, String problem) {}

  static Path defaultRoot() {
    if (System.getProperty("os.name", "").startsWith("Windows")) {
      String local = System.getenv("LOCALAPPDATA");
      return local == null || local.isEmpty() ? null : Path.of(local, "vantorix-image");
    }
    String xdg = System.getenv("XDG_CACHE_HOME");
    if (xdg != null && Path.of(xdg).isAbsolute()) {
      return Path.of(xdg, "vantorix-image");
    }
    String home = System.getProperty("user.home");
    return home == null || home.isEmpty() ? null : Path.of(home, ".cache", "vantorix-image");
  }

  private static final boolean POSIX =
      java.nio.file.FileSystems.getDefault().supportedFileAttributeViews().contains("posix");

  /** Makes a directory that only its owner may read or write (where the system has modes). */
  private static Path createPrivate(Path path) throws IOException {
    if (Files.isDirectory(path, LinkOption.NOFOLLOW_LINKS)) {
      return path;
    }
    Files.createDirectories(path.getParent());
    try {
      if (POSIX) {
        Files.createDirectory(
            path,
            PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rwx------")));
      } else {
        Files.createDirectory(path);
      }
    } catch (FileAlreadyExistsException e) {
      // Made meanwhile by another run; checked as any other.
    }
    return path;
  }

  /** Why a cache directory cannot be trusted, or null: a link, another owner, others may write. */
  private static String unsafe(Path path) throws IOException {
    if (!Files.isDirectory(path, LinkOption.NOFOLLOW_LINKS)) {
      return "the runtime cache " + path + " is not a directory (a symbolic link?)";
    }
    PosixFileAttributeView view =
        Files.getFileAttributeView(path, PosixFileAttributeView.class, LinkOption.NOFOLLOW_LINKS);
    if (view == null) {
      return null;
    }
    PosixFileAttributes attributes = view.readAttributes();
    UserPrincipal me = currentUser(path);
    if (me != null && !attributes.owner().equals(me)) {
      return "the runtime cache " + path + " belongs to " + attributes.owner().getName()
          + ", not to the user running the tool";
    }
    Set<PosixFilePermission> permissions = attributes.permissions();
    if (permissions.contains(PosixFilePermission.GROUP_WRITE)
        || permissions.contains(PosixFilePermission.OTHERS_WRITE)) {
      return "others may write to the runtime cache " + path + " (chmod go-w makes it the user's"
          + " own)";
    }
    return null;
  }

  /** The owner of a file made now, which is the user running the tool. */
  private static UserPrincipal currentUser(Path directory) throws IOException {
    Path probe = Files.createTempFile(directory, ".owner-", "");
    try {
      return Files.getOwner(probe);
    } finally {
      Files.deleteIfExists(probe);
    }
  }

  /** The key of a runtime: what makes jlink's output differ. */
  static String key(Plan.Linked linked, String shrinking) {
    List<String> parts = new ArrayList<>();
    parts.add(FORMAT);
    Jdk jdk = linked.jdk();
    parts.add(Trees.realPath(jdk.home()).toString());
    parts.add(jdk.version().toString());
    parts.add(jdk.platform());
    // The modules linked from: each jmod, or the run-time image, by name, size and time.
    List<Path> sources = new ArrayList<>();
    if (jdk.jmods() != null) {
      try (DirectoryStream<Path> jmods = Files.newDirectoryStream(jdk.jmods(), "*.jmod")) {
        jmods.forEach(sources::add);
      } catch (IOException e) {
        sources.add(jdk.jmods());
      }
    } else {
      sources.add(jdk.home().resolve("lib/modules"));
    }
    sources.sort(null);
    for (Path source : sources) {
      parts.add(source + " " + stamp(source));
    }
    parts.addAll(linked.options());
    parts.add(String.join(",", new java.util.TreeSet<>(linked.archives())));
    parts.add(shrinking);
    try {
      MessageDigest digest = MessageDigest.getInstance("SHA-256");
      for (String part : parts) {
        digest.update(part.getBytes(StandardCharsets.UTF_8));
        digest.update((byte) 0);
      }
      return HexFormat.of().formatHex(digest.digest(), 0, 16);
    } catch (NoSuchAlgorithmException e) {
      throw new IllegalStateException(e);
    }
  }

  private static String stamp(Path file) {
    try {
      return Files.size(file) + " " + Files.getLastModifiedTime(file).toMillis();
    } catch (IOException e) {
      return "?";
    }
  }

  /** The complete entry of the key, marked as used now; null when there is none. */
  Path find(String key) {
    Path entry = directory.resolve(key);
    if (!Files.isRegularFile(entry.resolve(COMPLETE), LinkOption.NOFOLLOW_LINKS)
        || !Files.isDirectory(entry.resolve("runtime"), LinkOption.NOFOLLOW_LINKS)) {
      return null;
    }
    try {
      Files.setLastModifiedTime(entry, FileTime.from(Instant.now()));
    } catch (IOException e) {
      // Only the order of pruning depends on it.
    }
    return entry;
  }

  /** A directory of the user's own beside the entries, to make an entry in. */
  Path staging() throws IOException {
    return createPrivate(directory.resolve(STAGING + UUID.randomUUID()));
  }

  /**
   * Makes a complete staging directory the key's entry, in one rename; when another run placed
   * the same entry meanwhile, that one is kept. Returns the entry.
   */
  Path place(Path staging, String key) throws IOException {
    Files.writeString(staging.resolve(COMPLETE), FORMAT + "\n", StandardCharsets.UTF_8);
    Path entry = directory.resolve(key);
    try {
      Files.move(staging, entry, StandardCopyOption.ATOMIC_MOVE);
    } catch (IOException e) {
      if (find(key) == null) {
        throw e;
      }
      Host.deleteTree(staging);
    }
    prune(key);
    return entry;
  }

  /** Keeps the newest entries; removes staging directories that a stopped run left. */
  private void prune(String keep) {
    List<Path> entries = new ArrayList<>();
    Instant stale = Instant.now().minusSeconds(3600);
    try (DirectoryStream<Path> children = Files.newDirectoryStream(directory)) {
      for (Path child : children) {
        String name = child.getFileName().toString();
        if (name.startsWith(STAGING)) {
          if (Files.getLastModifiedTime(child).toInstant().isBefore(stale)) {
            Host.deleteTree(child);
          }
        } else if (!name.equals(keep) && !name.startsWith(".")) {
          entries.add(child);
        }
      }
    } catch (IOException e) {
      return;
    }
    entries.sort(Comparator.comparing(RuntimeCache::modified).reversed());
    entries.stream().skip(KEPT - 1).forEach(Host::deleteTree);
  }

  private static FileTime modified(Path path) {
    try {
      return Files.getLastModifiedTime(path);
    } catch (IOException e) {
      return FileTime.fromMillis(0);
    }
  }
}
