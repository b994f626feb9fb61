package org.vantorix.image.installer;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import org.vantorix.image.base.Guard;
import org.vantorix.image.base.Refusal;

/** Writes the setup program of a plan with makensis. */
final class SetupProgram {

  private SetupProgram() {}

  /**
   * Writes the setup program of the image at {@code image} to {@code part}, with its script in
   * {@code work}. The image's names were checked with the plan; a link here is the last guard.
   */
  static void write(InstallerPlan plan, Path image, Path work, Path part, Guard guard)
      throws IOException {
    ImageFiles files = ImageFiles.walk(image);
    for (ImageFiles.Entry file : files.files()) {
      if (file.link()) {
        throw new Refusal("the image holds a symbolic link, which a setup program cannot"
            + " install: " + file.source());
      }
    }
    Path manifest = work.resolve(NsisScript.MANIFEST);
    Files.writeString(manifest,
        String.join("\r\n", NsisScript.manifestLines(plan.appId(), files)) + "\r\n",
        StandardCharsets.UTF_16LE);
    // makensis writes, and the sign command signs, the setup program under its final name in the
    // tool's own directory.
    SignScripts sign = plan.request().signCommand() == null ? null
        : SignScripts.write(plan.request().signCommand(), work, part);
    Path script = work.resolve("setup.nsi");
    // With a byte order mark makensis reads the script as UTF-8 wherever it runs.
    Files.writeString(script, "\uFEFF" + NsisScript.render(plan, files, manifest, part, sign),
        StandardCharsets.UTF_8);
    Installers.build(List.of(plan.tool().toString(), "-V2", "-INPUTCHARSET", "UTF8",
        script.toString()), work, guard, "makensis");
  }
}
