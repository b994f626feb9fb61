package org.vantorix.image;

import static org.vantorix.image.ConfigText.shown;
import static org.vantorix.image.OptionTable.FILE_ASSOCIATION;
import static org.vantorix.image.OptionTable.URL_SCHEME;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.vantorix.image.base.Refusal;
import org.vantorix.image.installer.Desktop;

/**
 * The desktop description of the command line: the launchers beside the primary one, the file
 * types (--file-association .EXT[=TYPE/SUBTYPE][@LAUNCHER]) and the URL schemes
 * (--url-scheme SCHEME[@LAUNCHER]), checked once for every installer.
 */
final class DesktopOptions {
  // One extension; Windows looks only at the last one of a name, so a dot inside is refused.
  private static final Pattern ASSOCIATION =
      Pattern.compile(
          "\\.([A-Za-z0-9][A-Za-z0-9_+-]{0,31})(?:=([^@]*))?(?:@(.*))?", Pattern.DOTALL);
  // The restricted names of RFC 6838 on both sides of the slash.
  private static final Pattern MIME_TYPE =
      Pattern.compile(
          "[A-Za-z0-9][A-Za-z0-9!#$&^_.+-]{0,126}/[A-Za-z0-9][A-Za-z0-9!#$&^_.+-]{0,126}");
  // RFC 3986: a letter, then letters, digits, '+', '-' and '.'.
  private static final Pattern SCHEME =
      Pattern.compile("([A-Za-z][A-Za-z0-9+.-]{0,63})(?:@(.*))?", Pattern.DOTALL);
  // Schemes that the system and the browsers own: taking one over would reroute every link.
  private static final Set<String> SYSTEM_SCHEMES =
      Set.of("file", "http", "https", "ftp", "mailto", "data", "javascript", "about", "ms-settings",
          "shell");

  private DesktopOptions() {}

  static Desktop plan(
      Options options, String name, List<Plan.Extra> extraLaunchers, List<String> notes) {
    Map<String, Boolean> launchers = new HashMap<>();
    launchers.put(name, false);
    List<Desktop.Launcher> extra = new ArrayList<>();
    for (Plan.Extra launcher : extraLaunchers) {
      launchers.put(launcher.name(), launcher.console());
      extra.add(new Desktop.Launcher(launcher.name(), launcher.console()));
    }
    List<Desktop.FileType> fileTypes = new ArrayList<>();
    Set<String> extensions = new HashSet<>();
    for (String value : options.list(FILE_ASSOCIATION)) {
      Matcher m = ASSOCIATION.matcher(value);
      if (!m.matches()) {
        throw Refusal.of(
            "--file-association %s is not .EXT, .EXT=TYPE/SUBTYPE or either with @LAUNCHER"
                + " (EXT: letters, digits, '_', '+' and '-')",
            shown(value));
      }
      String extension = m.group(1).toLowerCase(Locale.ROOT);
      if (!extensions.add(extension)) {
        throw Refusal.of("--file-association .%s is given twice", extension);
      }
      String mimeType = m.group(2);
      if (mimeType == null) {
        mimeType = "application/x-" + word(name) + "-" + extension;
        notes.add(
            String.format(
                "the file type .%s is registered as %s (give --file-association .%s=TYPE/SUBTYPE"
                    + " for another MIME type)",
                extension, mimeType, extension));
      } else if (!MIME_TYPE.matcher(mimeType).matches()) {
        throw Refusal.of(
            "the MIME type %s of --file-association .%s is not TYPE/SUBTYPE",
            shown(mimeType), extension);
      }
      fileTypes.add(
          new Desktop.FileType(
              extension,
              mimeType.toLowerCase(Locale.ROOT),
              launcher(launchers, name, m.group(3), "--file-association ." + extension)));
    }
    List<String> schemes = new ArrayList<>();
    List<String> schemeLaunchers = new ArrayList<>();
    for (String value : options.list(URL_SCHEME)) {
      Matcher m = SCHEME.matcher(value);
      if (!m.matches()) {
        throw Refusal.of(
            "--url-scheme %s is not a URL scheme (a letter, then letters, digits, '+', '-' and"
                + " '.'), with @LAUNCHER or without",
            shown(value));
      }
      String scheme = m.group(1).toLowerCase(Locale.ROOT);
      if (SYSTEM_SCHEMES.contains(scheme)) {
        throw Refusal.of(
            "--url-scheme %s is the system's own: the application would take over every such"
                + " link",
            scheme);
      }
      if (schemes.contains(scheme)) {
        throw Refusal.of("--url-scheme %s is given twice", scheme);
      }
      schemes.add(scheme);
      schemeLaunchers.add(launcher(launchers, name, m.group(2), "--url-scheme " + scheme));
    }
    if (options.value(OptionTable.INSTALLER_KIND) == null
        && !(fileTypes.isEmpty() && schemes.isEmpty())) {
      notes.add(
          "file types and URL schemes are registered by an installer: without --installer they"
              + " are not used");
    }
    return new Desktop(extra, fileTypes, schemes, schemeLaunchers);
  }

  private static String launcher(
      Map<String, Boolean> launchers, String name, String given, String what) {
    if (given == null) {
      return name;
    }
    Boolean console = launchers.get(given);
    if (console == null) {
      throw Refusal.of(
          "%s names the launcher %s, which the image does not have (launchers: %s)",
          what, shown(given), String.join(", ", launchers.keySet().stream().sorted().toList()));
    }
    if (console) {
      throw Refusal.of(
          "%s names the console launcher %s: files and links are opened by a GUI launcher",
          what, given);
    }
    return given;
  }

  /** The name as a MIME subtype word: ASCII letters and digits in lower case, '-' for the rest. */
  private static String word(String name) {
    String word =
        name.replaceAll("[^A-Za-z0-9]+", "-").replaceAll("^-+|-+$", "").toLowerCase(Locale.ROOT);
    return word.isEmpty() ? "app" : word;
  }
}
