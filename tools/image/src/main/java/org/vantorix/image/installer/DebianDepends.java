package org.vantorix.image.installer;

import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeSet;

/** The Debian packages of the system libraries that a runtime of given Java modules loads. */
final class DebianDepends {

  // The C library and zlib serve java.base, which every runtime holds. AWT and Java 2D draw
  // through X11 and FreeType and play sound through ALSA; smart cards are read through PC/SC and
  // SCTP sockets need libsctp, both loaded when first used.
  private static final List<String> ALWAYS = List.of("libc6", "zlib1g");
  private static final Map<String, List<String>> BY_MODULE = Map.of(
      "java.desktop", List.of("libx11-6", "libxext6", "libxrender1", "libxtst6", "libxi6",
          "libfreetype6", "libasound2"),
      "java.smartcardio", List.of("libpcsclite1"),
      "jdk.sctp", List.of("libsctp1"));

  private DebianDepends() {}

  /** The Depends field's packages, sorted. */
  static Set<String> of(Set<String> modules) {
    Set<String> packages = new TreeSet<>(ALWAYS);
    for (String module : modules) {
      packages.addAll(BY_MODULE.getOrDefault(module, List.of()));
    }
    return packages;
  }
}
