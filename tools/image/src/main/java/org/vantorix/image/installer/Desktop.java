package org.vantorix.image.installer;

import java.util.List;

/**
 * What an installer registers with the desktop besides the primary launcher, as the command line
 * describes it once for the setup program, the Debian package and the image.
 *
 * @param launchers the launchers beside the primary one
 * @param fileTypes the file types the application opens
 * @param urlSchemes the URL schemes whose links it opens, in lower case
 * @param urlLaunchers the name of the launcher that opens each scheme's links, in their order
 */
public record Desktop(
    List<Launcher> launchers,
    List<FileType> fileTypes,
    List<String> urlSchemes,
    List<String> urlLaunchers) {
  public static final Desktop NONE = new Desktop(List.of(), List.of(), List.of(), List.of());

  public Desktop {
    launchers = List.copyOf(launchers);
    fileTypes = List.copyOf(fileTypes);
    urlSchemes = List.copyOf(urlSchemes);
    urlLaunchers = List.copyOf(urlLaunchers);
    if (urlLaunchers.size() != urlSchemes.size()) {
      throw new IllegalArgumentException("one launcher for each URL scheme");
    }
  }

  /** A launcher beside the primary one: {@code name.exe} or {@code name} in the image. */
  public record Launcher(String name, boolean console) {}

  /**
   * A file type that a launcher opens.
   *
   * @param extension the file name extension without its dot, in lower case
   * @param mimeType its MIME type
   * @param launcher the name of the launcher that opens it
   */
  public record FileType(String extension, String mimeType, String launcher) {}

  /** The GUI launchers beside the primary one, in their order. */
  public List<Launcher> guiLaunchers() {
    return launchers.stream().filter(l -> !l.console()).toList();
  }
}
