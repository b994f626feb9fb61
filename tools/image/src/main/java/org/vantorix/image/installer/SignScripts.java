package org.vantorix.image.installer;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.regex.Pattern;
import org.vantorix.image.base.Host;
import org.vantorix.image.base.Refusal;

/**
 * The packager's sign command as makensis runs it: on the uninstaller before setup takes it in,
 * and on the finished setup program under its final name. makensis hands a command line to the
 * shell with the file's path for %1; a path there would be expanded by the shell (a '$' or a
 * backtick in a directory's name would run a command), so the command goes into a script of its
 * own, which gets the path as its first argument, quoted as the launchers' sign step quotes it.
 *
 * @param uninstaller the script that signs the file named by its argument
 * @param setup the script that signs the setup program, whose path it holds
 */
record SignScripts(Path uninstaller, Path setup) {

  // What a path may hold to be written, quoted, into makensis's command line as it is.
  private static final Pattern PLAIN_PATH = Pattern.compile("[A-Za-z0-9_./:\\\\ +-]+");

  /** Writes the scripts into the work directory (the tool's own, made for this build). */
  static SignScripts write(String signCommand, Path work, Path setup) throws IOException {
    if (!PLAIN_PATH.matcher(work.toString()).matches()) {
      throw new Refusal("the temporary directory " + work + " holds characters that a sign"
          + " command's line cannot carry: set java.io.tmpdir to a plain path");
    }
    String argument = Host.WINDOWS ? "\"%~1\"" : "\"$1\"";
    String line = signCommand.contains("{}") ? signCommand.replace("{}", argument)
        : signCommand + " " + argument;
    String suffix = Host.WINDOWS ? ".cmd" : ".sh";
    Path uninstaller = work.resolve("sign-uninstaller" + suffix);
    Path setupScript = work.resolve("sign-setup" + suffix);
    if (Host.WINDOWS) {
      Files.writeString(uninstaller, "@" + line + "\r\n", StandardCharsets.UTF_8);
      Files.writeString(setupScript, "@call \"" + uninstaller + "\" \"" + setup + "\"\r\n",
          StandardCharsets.UTF_8);
    } else {
      Files.writeString(uninstaller, line + "\n", StandardCharsets.UTF_8);
      Files.writeString(setupScript, "set -- " + quote(setup.toString()) + "\n" + line + "\n",
          StandardCharsets.UTF_8);
    }
    return new SignScripts(uninstaller, setupScript);
  }

  /** The script's lines that run the scripts; a command that fails stops the build. */
  String lines() {
    String shell = Host.WINDOWS ? "cmd /c " : "sh ";
    String q = Host.WINDOWS ? "\"" : "'";
    return "!uninstfinalize `" + shell + q + uninstaller + q + " " + q + "%1" + q + "` = 0\n"
        + "!finalize `" + shell + q + setup + q + "` = 0";
  }

  private static String quote(String word) {
    return "'" + word.replace("'", "'\\''") + "'";
  }
}
