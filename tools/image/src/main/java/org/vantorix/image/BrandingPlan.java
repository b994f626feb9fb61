package org.vantorix.image;

import static org.vantorix.image.ConfigText.checkValue;
import static org.vantorix.image.ConfigText.shown;
import static org.vantorix.image.OptionTable.BRAND_TOOL;
import static org.vantorix.image.OptionTable.COPYRIGHT;
import static org.vantorix.image.OptionTable.DESCRIPTION;
import static org.vantorix.image.OptionTable.EXECUTION_LEVEL;
import static org.vantorix.image.OptionTable.ICON;
import static org.vantorix.image.OptionTable.INSTALLER_KIND;
import static org.vantorix.image.OptionTable.NAME;
import static org.vantorix.image.OptionTable.SIGN_COMMAND;
import static org.vantorix.image.OptionTable.VENDOR;
import static org.vantorix.image.OptionTable.VERSION;
import static org.vantorix.image.OptionTable.WINE;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Optional;
import java.util.stream.Collectors;
import org.vantorix.image.base.IcoFile;
import org.vantorix.image.base.Refusal;
import org.vantorix.image.base.Versions;

/** The branding and signing options, checked, as the branding step is to carry them out. */
final class BrandingPlan {
  static final List<String> EXECUTION_LEVELS =
      List.of("asInvoker", "highestAvailable", "requireAdministrator");

  /** What the branding tool is given (Windows targets), checked; null for other targets. */
  static Branding plan(
      Options options,
      Target target,
      Path launchers,
      Path toolDirectory,
      String executable,
      List<String> notes) {
    List<Option> branding =
        options.givenOf(List.of(ICON, VERSION, VENDOR, DESCRIPTION, COPYRIGHT, EXECUTION_LEVEL));
    for (Option option : branding) {
      if (option != ICON) {
        checkValue("the " + option.spelled() + " value", options.value((Option.Value) option));
      }
    }
    String sign = options.value(SIGN_COMMAND);
    if (sign != null && sign.isBlank()) {
      throw new Refusal("the --sign-command value is empty");
    }
    if (!target.windows) {
      // A Debian package takes its icon, version, vendor and description from these.
      if (!branding.isEmpty() && options.value(INSTALLER_KIND) == null) {
        notes.add(
            String.format(
                "%s carries no icon or version information: %s not used",
                target.label,
                branding.stream().map(Option::spelled).collect(Collectors.joining(", "))));
      }
      if (sign != null) {
        notes.add(target.label + " has no Windows executable to sign: --sign-command not used");
      }
      return null;
    }
    String icon = options.value(ICON);
    if (icon != null) {
      checkIcon(icon);
    }
    String version = options.value(VERSION);
    if (version != null
        && !Versions.valid(version)) {
      throw Refusal.of("the version %s is not %s", shown(version), Versions.RULE);
    }
    String level = options.value(EXECUTION_LEVEL);
    if (level != null && !EXECUTION_LEVELS.contains(level)) {
      throw Refusal.of(
          "the execution level %s is not one of %s",
          shown(level), String.join(", ", EXECUTION_LEVELS));
    }
    String name = options.value(NAME);
    List<String> brandOptions = new ArrayList<>();
    brandOptions.addAll(
        List.of(
            "--product-name", name,
            "--original-filename", executable,
            "--description", Optional.ofNullable(options.value(DESCRIPTION)).orElse(name)));
    if (icon != null) {
      brandOptions.addAll(List.of("--icon", options.path(ICON).toString()));
    }
    if (options.value(VENDOR) != null) {
      brandOptions.addAll(List.of("--company", options.value(VENDOR)));
    }
    if (options.value(COPYRIGHT) != null) {
      brandOptions.addAll(List.of("--copyright", options.value(COPYRIGHT)));
    }
    if (version != null) {
      brandOptions.addAll(List.of("--file-version", version, "--product-version", version));
    }
    if (level != null) {
      brandOptions.addAll(List.of("--execution-level", level));
    }
    Branding planned =
        Branding.plan(
            options.value(BRAND_TOOL),
            launchers,
            toolDirectory,
            options.value(WINE),
            target,
            executable,
            List.copyOf(brandOptions),
            sign);
    if (planned.note() != null) {
      notes.add(planned.note());
    }
    return planned;
  }

  private static void checkIcon(String path) {
    byte[] data;
    try (InputStream in = Files.newInputStream(Path.of(path))) {
      data = in.readNBytes(64 << 20);
    } catch (IOException e) {
      throw Refusal.of("the icon %s cannot be read: %s", path, Refusal.reason(e));
    }
    if (IcoFile.startsWith(data, 0, IcoFile.pngSignature())) {
      throw Refusal.of(
          "the icon %s is a PNG image: windows-x64 and windows-x86 take an .ico file (a PNG image"
              + " is taken for linux-x64)",
          path);
    }
    Icons.iconProblem(data)
        .ifPresent(
            problem -> {
              throw Refusal.of("the icon %s is not a valid .ico file: %s", path, problem);
            });
  }

  private BrandingPlan() {}
}
