package org.vantorix.image.installer;

import java.util.Locale;
import org.vantorix.image.base.Refusal;

/**
 * For whom a setup program installs: the user who runs it (no elevation, under the user's local
 * application data) or every user of the machine (elevated, under Program Files).
 */
public enum InstallScope {
  USER,
  MACHINE;

  /** The scope named by the value of {@code --install-scope}. */
  public static InstallScope parse(String value) {
    for (InstallScope scope : values()) {
      if (scope.name().toLowerCase(Locale.ROOT).equals(value)) {
        return scope;
      }
    }
    throw new Refusal("unknown install scope " + value + ": user or machine");
  }
}
