package org.vantorix.image.installer;

import java.util.Locale;
import org.vantorix.image.base.Refusal;

/** What the image becomes for its users: a Windows setup program or a Debian package. */
public enum InstallerKind {
  EXE,
  DEB;

  /** The kind named by the value of {@code --installer}. */
  public static InstallerKind parse(String value) {
    for (InstallerKind kind : values()) {
      if (kind.optionValue().equals(value)) {
        return kind;
      }
    }
    throw new Refusal("unknown installer " + value + ": exe or deb");
  }

  public String optionValue() {
    return name().toLowerCase(Locale.ROOT);
  }
}
