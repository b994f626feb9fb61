package org.vantorix.image;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.lang.module.ModuleDescriptor;
import java.lang.module.ModuleFinder;
import java.lang.module.ModuleReference;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.SortedMap;
import java.util.TreeMap;
import java.util.stream.Collectors;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * Which JDK modules a linked runtime holds and why, from the JDK's own descriptors; which
 * class-data archives it keeps; and the runtime cache's refusal of a directory others may write.
 */
class RuntimeChoiceTest {
  @TempDir Path work;

  /** The running JDK's descriptors, read as the tool reads those of any JDK. */
  static Map<String, ModuleInfo> runningJdk() {
    Path home = Path.of(System.getProperty("java.home"));
    Path jmods = Files.isRegularFile(home.resolve("jmods/java.base.jmod")) ? home.resolve("jmods") : null;
    return JdkModules.of(new Jdk(home, jmods, false, "", Runtime.version()));
  }

  @Test
  void readsTheDescriptorsAsTheJdkDoes() {
    Map<String, ModuleInfo> read = runningJdk();
    for (ModuleReference reference : ModuleFinder.ofSystem().findAll()) {
      ModuleDescriptor expected = reference.descriptor();
      ModuleInfo info = read.get(expected.name());
      assertNotNull(info, expected.name());
      assertEquals(expected.uses(), info.uses(), expected.name());
      assertEquals(
          expected.provides().stream().map(ModuleDescriptor.Provides::service)
              .collect(Collectors.toSet()),
          info.provides(), expected.name());
      assertEquals(
          expected.requires().stream()
              .filter(r -> !r.modifiers().contains(ModuleDescriptor.Requires.Modifier.STATIC))
              .map(ModuleDescriptor.Requires::name).collect(Collectors.toSet()),
          info.requires(), expected.name());
      assertEquals(expected.exports().stream().anyMatch(e -> !e.isQualified()),
          info.exportsToAll(), expected.name());
    }
  }

  @Test
  void aJavaBaseProgramGetsTheServicesButNoTools() {
    Map<String, ModuleInfo> jdk = runningJdk();
    SortedMap<String, String> chosen = ModuleChoice.choose(jdk, Set.of(), Set.of(), false, false);
    for (String module : List.of("jdk.charsets", "jdk.localedata", "jdk.zipfs", "jdk.crypto.cryptoki")) {
      assertTrue(chosen.get(module).startsWith(ModuleChoice.SERVICE), module + ": " + chosen);
    }
    if (jdk.containsKey("jdk.crypto.ec")) {
      assertTrue(chosen.containsKey("jdk.crypto.ec"), chosen.toString());
    }
    assertEquals(ModuleChoice.BY_NAME, chosen.get("jdk.unsupported"));
    assertEquals(ModuleChoice.APPLICATION, chosen.get("java.base"));
    // No tool, no API module that merely provides something (java.desktop's content handlers),
    // nothing of the JDK's internals.
    for (String module : chosen.keySet()) {
      assertTrue(module.equals("java.base") || module.startsWith("jdk."), chosen.toString());
      assertTrue(!module.startsWith("jdk.internal.") && !jdk.get(module).exportsToAll()
          || module.equals("jdk.unsupported") || module.equals("java.base"), chosen.toString());
    }

    // What is not linked is said: the tools, and the API modules that also provide a service.
    ModuleChoice.LeftOut leftOut = ModuleChoice.leftOut(jdk, chosen.keySet());
    assertTrue(leftOut.tools().containsAll(List.of("jdk.compiler", "jdk.jlink")), leftOut.toString());
    assertTrue(leftOut.apis().contains("java.desktop"), leftOut.toString());
    assertEquals(Set.of(), leftOut.services());
    assertEquals(Set.of("jdk.charsets", "jdk.localedata", "jdk.zipfs"),
        ModuleChoice.leftOut(jdk, Set.of("java.base")).services().stream()
            .filter(m -> List.of("jdk.charsets", "jdk.localedata", "jdk.zipfs").contains(m))
            .collect(Collectors.toSet()));

    // A program with the naming API gets its DNS and RMI providers, and what they require.
    SortedMap<String, String> naming =
        ModuleChoice.choose(jdk, Set.of("java.naming"), Set.of(), false, false);
    assertEquals(ModuleChoice.SERVICE + "javax.naming.spi.InitialContextFactory",
        naming.get("jdk.naming.dns"));
    assertEquals(ModuleChoice.REQUIRED + "jdk.naming.rmi", naming.get("java.rmi"));
    // The compiler's API does not bring the compiler, nor jshell's console.
    SortedMap<String, String> compiler =
        ModuleChoice.choose(jdk, Set.of("java.compiler", "java.scripting"), Set.of(), false, false);
    for (String tool : List.of("jdk.compiler", "jdk.jshell", "jdk.internal.le", "jdk.jlink")) {
      assertTrue(!compiler.containsKey(tool), compiler.toString());
    }
  }

  @Test
  void onlyFoundModulesLinksWhatTheClassesNeed() {
    Map<String, ModuleInfo> jdk = runningJdk();
    assertEquals(
        Map.of("java.base", ModuleChoice.APPLICATION, "java.logging", ModuleChoice.APPLICATION,
            "java.sql", ModuleChoice.ADDED, "java.transaction.xa", ModuleChoice.REQUIRED + "java.sql",
            "java.xml", ModuleChoice.REQUIRED + "java.sql"),
        ModuleChoice.choose(jdk, Set.of("java.logging"), Set.of("java.sql"), true, false));
    assertEquals(ModuleChoice.LOCALES,
        ModuleChoice.choose(jdk, Set.of(), Set.of(), true, true).get("jdk.localedata"));
  }

  @Test
  void aProviderOfAnotherJdkIsChosenByTheSameRule() {
    // A new JDK's provider module, seen only through its descriptor.
    Map<String, ModuleInfo> jdk = new TreeMap<>();
    jdk.put("java.base", new ModuleInfo("java.base", Set.of(), true,
        Set.of("java.nio.file.spi.FileSystemProvider", "java.util.spi.ToolProvider",
            "jdk.internal.io.JdkConsoleProvider"), Set.of()));
    jdk.put("jdk.newfs", new ModuleInfo("jdk.newfs", Set.of("jdk.newfs.support"), false, Set.of(),
        Set.of("java.nio.file.spi.FileSystemProvider")));
    jdk.put("jdk.newfs.support", new ModuleInfo("jdk.newfs.support", Set.of(), true, Set.of(),
        Set.of()));
    jdk.put("jdk.newtool", new ModuleInfo("jdk.newtool", Set.of(), false, Set.of(),
        Set.of("java.util.spi.ToolProvider", "java.nio.file.spi.FileSystemProvider")));
    jdk.put("jdk.console", new ModuleInfo("jdk.console", Set.of(), false, Set.of(),
        Set.of("jdk.internal.io.JdkConsoleProvider")));
    assertEquals(
        Map.of("java.base", ModuleChoice.APPLICATION,
            "jdk.newfs", ModuleChoice.SERVICE + "java.nio.file.spi.FileSystemProvider",
            "jdk.newfs.support", ModuleChoice.REQUIRED + "jdk.newfs"),
        ModuleChoice.choose(jdk, Set.of(), Set.of(), false, false));
  }

  @Test
  void keepsTheOtherArchiveOnlyWhenTheOptionsTurnCompressedPointersOff() {
    Set<String> both = Set.of("classes.jsa", "classes_nocoops.jsa");
    Set<String> one = Set.of("classes.jsa");
    Map<List<String>, Set<String>> cases =
        Map.of(
            List.of(), one,
            List.of("-Xmx31g", "-Dx=1"), one,
            List.of("-Xmx32g"), both,
            List.of("-Xmx40000m"), both,
            List.of("-XX:-UseCompressedOops"), both,
            List.of("-XX:-UseCompressedOops", "-XX:+UseCompressedOops"), one,
            List.of("-Xmx64g", "-Xmx2g"), one);
    cases.forEach((options, kept) -> assertEquals(kept, LinkPlan.archivesKept(options),
        options.toString()));
  }

  @Test
  void theCacheIsTheUsersOwn() throws Exception {
    RuntimeCache.Result made = RuntimeCache.open(work.resolve("cache"));
    assertNotNull(made.cache(), made.problem());
    assertEquals("rwx------",
        PosixFilePermissions.toString(Files.getPosixFilePermissions(work.resolve("cache/runtimes"))));
    Files.setPosixFilePermissions(work.resolve("cache/runtimes"),
        PosixFilePermissions.fromString("rwxrwxrwx"));
    RuntimeCache.Result open = RuntimeCache.open(work.resolve("cache"));
    assertNull(open.cache());
    assertEquals("others may write to the runtime cache " + work.resolve("cache/runtimes")
        + " (chmod go-w makes it the user's own)", open.problem());

    Files.createDirectories(work.resolve("elsewhere"));
    RuntimeCache.Result linked = RuntimeCache.open(work.resolve("root"));
    assertNotNull(linked.cache(), linked.problem());
    Files.delete(work.resolve("root/runtimes"));
    Files.createSymbolicLink(work.resolve("root/runtimes"), work.resolve("elsewhere"));
    assertTrue(RuntimeCache.open(work.resolve("root")).problem().contains("(a symbolic link?)"));
  }
}
