package org.vantorix.image;

import java.nio.file.Path;
import java.util.List;
import java.util.Map;
import java.util.Set;
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
 * @param warnings what the image may do otherwise than the packager expects, said before the notes
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
    List<String> warnings,
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
   * @param reasons why each module is there
   * @param options jlink's options before {@code --output}
   * @param archive whether jlink makes the class-data archive
   * @param archives the names of the class-data archives kept in lib/server
   * @param leftOut the providers of services used in the runtime that it does not hold
   */
  record Linked(
      Jdk jdk,
      List<String> modules,
      Map<String, String> reasons,
      List<String> options,
      boolean archive,
      Set<String> archives,
      ModuleChoice.LeftOut leftOut)
      implements RuntimeSource {}
}
