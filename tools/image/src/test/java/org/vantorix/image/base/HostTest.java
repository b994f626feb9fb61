package org.vantorix.image.base;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Optional;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The host module's rules: Windows names, versions, and a tree removed without following links. */
class HostTest {
  @TempDir Path work;

  @Test
  void windowsNames() {
    assertEquals(Optional.empty(), WindowsNames.problem("Orbit Über 2.txt"));
    assertEquals(Optional.of("holds * ?, which Windows file names cannot hold"),
        WindowsNames.problem("what?*.txt"));
    assertEquals(Optional.of("ends with a dot, which Windows drops from file names"),
        WindowsNames.problem("Orbit."));
    assertEquals(Optional.of("ends with a blank, which Windows drops from file names"),
        WindowsNames.problem("Orbit "));
    assertEquals(Optional.of("is a Windows device name"), WindowsNames.problem("com1.log"));
    assertEquals(Optional.of("holds a control character, which Windows file names cannot hold"),
        WindowsNames.problem("a\tb"));
  }

  @Test
  void versions() {
    for (String good : new String[] {"1", "2.5.1", "65535.0.0.65535", "007"}) {
      assertTrue(Versions.valid(good), good);
    }
    for (String bad : new String[] {"", "1.2.3.4.5", "1.65536", "1.2-beta", "1..2", "v1"}) {
      assertFalse(Versions.valid(bad), bad);
    }
    assertEquals("2.5.0.0", Versions.fourParts("2.5"));
  }

  @Test
  void deleteTreeFollowsNoLink() throws Exception {
    Path kept = Files.writeString(work.resolve("kept.txt"), "mine");
    Path tree = Files.createDirectories(work.resolve("tree/sub"));
    Files.writeString(tree.resolve("file"), "x");
    Files.createSymbolicLink(tree.resolve("link"), kept);
    Files.createSymbolicLink(tree.resolve("dir-link"), work);
    Host.deleteTree(work.resolve("tree"));
    assertFalse(Files.exists(work.resolve("tree")));
    assertEquals("mine", Files.readString(kept));
  }
}
