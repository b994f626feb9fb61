package org.vantorix.image;

import java.nio.file.Path;
import java.util.List;
import org.vantorix.image.installer.Desktop;

/**
 * What the writer does. Every path here has been checked, and nothing has been written yet.
 *
 * @param executable the launcher's name in the image
 * @param configName the config file's name in app/
 * @param inputFiles the input directory's files, copied to app/
 * @param runtime where runtime/ comes from
 * @param branding how the executable is branded and signed (Windows targets), or null
 * @param extraLaunchers the launchers beside the primary one
 * @param desktop what the installers register: those launchers, file types and URL schemes
 * @param notes what the tool says on standard error at the end
 */
record Plan(
    Target target,
    Path launcher,
    String executable,
    String configName,
    byte[] configData,
    Path input,
    List<Trees.Copy> inputFiles,
    Path output,
    RuntimeSource runtime,
    Branding branding,
    List<Extra> extraLaunchers,
    Desktop desktop,
    List<String> notes,
    boolean verbose) {

  /**
   * A launcher beside the primary one, with its own config file.
   *
   * @param launcher the launcher executable it is a copy of
   * @param executable its file name in the image
   */
  record Extra(
      String name,
      boolean console,
      Path launcher,
      String executable,
      String configName,
      byte[] configData) {}

  /** Where the image's runtime comes from. */
  sealed interface RuntimeSource permits Copied, Linked {}

  /** A copy of a given runtime directory. */
  record Copied(Path directory, List<Trees.Copy> files) implements RuntimeSource {}

  /**
   * A runtime that jlink links.
   *
   * @param modules the JDK modules, sorted
   * @param options jlink's options before {@code --output}
   * @param archive whether jlink makes the class-data archive
   */
  record Linked(Jdk jdk, List<String> modules, List<String> options, boolean archive)
      implements RuntimeSource {}
}
