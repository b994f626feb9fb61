package org.vantorix.image.installer;

import java.nio.file.Path;
import org.vantorix.image.base.Refusal;
import org.vantorix.image.base.WindowsNames;

/**
 * What a setup program cannot hold, checked with the plan, before anything is written: names that
 * Windows cannot hold; '$' in a path that makensis reads (File, Icon, OutFile take no escape for
 * it); a backtick in the name (it stands in the script's LogicLib conditions, which quote with
 * backticks). The installer's own directory and the sign command may hold both: makensis writes
 * into the tool's work directory, and the sign command runs from a script (SignScripts).
 */
final class SetupChecks {
  private SetupChecks() {}

  static void check(InstallerRequest request, Path output) {
    if (request.name().indexOf('`') >= 0) {
      throw new Refusal("the name " + request.name() + " holds a backtick, which the setup"
          + " program's script cannot hold");
    }
    for (String file : request.imageFiles()) {
      for (String name : file.split("/")) {
        WindowsNames.problem(name)
            .ifPresent(problem -> {
              throw new Refusal("the image's " + file + " " + problem
                  + ": a setup program cannot install it");
            });
      }
      if (file.indexOf('$') >= 0) {
        throw new Refusal("the image's " + file + " holds '$', which makensis cannot read in a"
            + " file's path");
      }
    }
    noDollar("the output directory", request.image().toAbsolutePath().toString());
    if (request.icon() != null) {
      noDollar("the icon", request.icon().toString());
    }
  }

  private static void noDollar(String what, String path) {
    if (path.indexOf('$') >= 0) {
      throw new Refusal(what + " " + path + " holds '$', which makensis cannot read in a file's"
          + " path");
    }
  }
}
