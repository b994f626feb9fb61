package org.vantorix.image.installer;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import org.vantorix.image.base.Guard;
import org.vantorix.image.base.Host;
import org.vantorix.image.base.Refusal;
import org.vantorix.image.base.WindowsNames;

/** Writes the setup program of a plan with makensis. */
final class SetupProgram {

  private SetupProgram() {}

  static void write(InstallerPlan plan, Guard guard) throws IOException {
    ImageFiles files = ImageFiles.walk(plan.request().image());
    for (ImageFiles.Entry file : files.files()) {
      if (file.link()) {
        throw new Refusal("the image holds a symbolic link, which a setup program cannot"
            + " install: " + file.source());
      }
    }
    for (List<ImageFiles.Entry> entries : List.of(files.directories(), files.files())) {
      for (ImageFiles.Entry entry : entries) {
        if (WindowsNames.problem(entry.fileName()).isPresent()) {
          throw new Refusal("the image holds a name that Windows cannot hold: " + entry.source());
        }
      }
    }
    Path work = Files.createTempDirectory("vantorix-setup");
    try {
      Path manifest = work.resolve(NsisScript.MANIFEST);
      Files.writeString(manifest,
          String.join("\r\n", NsisScript.manifestLines(plan.appId(), files)) + "\r\n",
          StandardCharsets.UTF_16LE);
      // makensis writes, and the sign command signs, the setup program under its final name, in
      // the tool's own directory; only the finished file goes beside the others.
      Path built = Files.createDirectory(work.resolve("out")).resolve(plan.output().getFileName());
      SignScripts sign = plan.request().signCommand() == null ? null
          : SignScripts.write(plan.request().signCommand(), work, built);
      Path script = work.resolve("setup.nsi");
      // With a byte order mark makensis reads the script as UTF-8 wherever it runs.
      Files.writeString(script, "\uFEFF" + NsisScript.render(plan, files, manifest, built, sign),
          StandardCharsets.UTF_8);
      Installers.build(List.of(plan.tool().toString(), "-V2", "-INPUTCHARSET", "UTF8",
          script.toString()), work, guard, "makensis");
      Scratch.moveIntoPlace(built, plan.output());
    } finally {
      Host.deleteTree(work);
    }
  }
}
