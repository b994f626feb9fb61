package org.vantorix.image.installer;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import org.vantorix.image.base.Refusal;

/**
 * What a Debian package holds for {@link Desktop}: a desktop entry for each GUI launcher, with
 * the MIME types it opens and the field code the desktop expands ({@code %f} for a file's path,
 * {@code %u} for a URL), and a shared-mime-info file that names the file types. The desktop's
 * own triggers (shared-mime-info, desktop-file-utils) rebuild their caches when the package
 * comes or goes, so the package needs no scripts of its own.
 */
final class DebianDesktop {
  private DebianDesktop() {}

  /** One desktop entry file: its name in /usr/share/applications and the launcher it starts. */
  record Entry(String fileName, String launcher, String fieldCode, List<String> mimeTypes,
      boolean hidden) {}

  /**
   * The entries of the package: the primary launcher's ({@code ID.desktop}), each other GUI
   * launcher's ({@code ID-NAME.desktop}), and, for a launcher that opens files and links, one
   * more that the menu does not show for its links ({@code ...-links.desktop}): an entry's Exec
   * has one field code.
   */
  static List<Entry> entries(InstallerPlan plan) {
    Desktop desktop = plan.request().desktop();
    List<Entry> entries = new ArrayList<>();
    List<String> launchers = new ArrayList<>();
    launchers.add(plan.name());
    desktop.guiLaunchers().forEach(l -> launchers.add(l.name()));
    for (String launcher : launchers) {
      String base = launcher.equals(plan.name()) ? plan.appId()
          : plan.appId() + "-" + word(launcher);
      List<String> types = desktop.fileTypes().stream()
          .filter(t -> t.launcher().equals(launcher)).map(Desktop.FileType::mimeType).distinct()
          .toList();
      List<String> schemes = new ArrayList<>();
      for (int i = 0; i < desktop.urlSchemes().size(); i++) {
        if (desktop.urlLaunchers().get(i).equals(launcher)) {
          schemes.add("x-scheme-handler/" + desktop.urlSchemes().get(i));
        }
      }
      if (types.isEmpty() || schemes.isEmpty()) {
        List<String> all = new ArrayList<>(types);
        all.addAll(schemes);
        entries.add(new Entry(base + ".desktop", launcher,
            !types.isEmpty() ? "%f" : schemes.isEmpty() ? null : "%u", all, false));
      } else {
        entries.add(new Entry(base + ".desktop", launcher, "%f", types, false));
        entries.add(new Entry(base + "-links.desktop", launcher, "%u", schemes, true));
      }
    }
    return entries;
  }

  /** Refuses launchers whose desktop entries would have one file name ("Orbit View", "orbit-view"). */
  static void check(InstallerPlan plan) {
    Map<String, String> names = new HashMap<>();
    for (Entry entry : entries(plan)) {
      String other = names.putIfAbsent(entry.fileName(), entry.launcher());
      if (other != null && !other.equals(entry.launcher())) {
        throw new Refusal("the launchers " + other + " and " + entry.launcher()
            + " would have the same desktop entry " + entry.fileName() + ": rename one");
      }
    }
  }

  /** The Exec value: the command, quoted as the desktop entry rules need, and the field code. */
  static String exec(String command, String fieldCode) {
    return DesktopEntry.exec(command, fieldCode);
  }

  /** The lines an entry adds after the primary launcher's: its MIME types, and whether hidden. */
  static String extraLines(Entry entry) {
    return (entry.mimeTypes().isEmpty() ? ""
            : "MimeType=" + String.join(";", entry.mimeTypes()) + ";\n")
        + (entry.hidden() ? "NoDisplay=true\n" : "");
  }

  /** The shared-mime-info file, or null when the package names no file type. */
  static String mimeInfo(InstallerPlan plan, boolean icon) {
    Map<String, List<String>> globs = new LinkedHashMap<>();
    for (Desktop.FileType type : plan.request().desktop().fileTypes()) {
      globs.computeIfAbsent(type.mimeType(), t -> new ArrayList<>()).add(type.extension());
    }
    if (globs.isEmpty()) {
      return null;
    }
    StringBuilder xml = new StringBuilder(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            + "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n");
    globs.forEach((type, extensions) -> {
      xml.append("  <mime-type type=\"").append(xml(type)).append("\">\n");
      xml.append("    <comment>").append(xml(plan.name() + " file")).append("</comment>\n");
      if (icon) {
        xml.append("    <icon name=\"").append(xml(plan.appId())).append("\"/>\n");
      }
      for (String extension : extensions) {
        xml.append("    <glob pattern=\"*.").append(xml(extension)).append("\"/>\n");
      }
      xml.append("  </mime-type>\n");
    });
    return xml.append("</mime-info>\n").toString();
  }

  private static String word(String name) {
    String word = name.replaceAll("[^A-Za-z0-9]+", "-").replaceAll("^-+|-+$", "")
        .toLowerCase(Locale.ROOT);
    return word.isEmpty() ? "launcher" : word;
  }

  private static String xml(String text) {
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
        .replace("\"", "&quot;");
  }
}
