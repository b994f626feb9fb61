package org.vantorix.maven;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintWriter;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Set;
import java.util.jar.Attributes;
import java.util.jar.JarOutputStream;
import java.util.jar.Manifest;
import java.util.spi.ToolProvider;
import org.apache.maven.artifact.Artifact;
import org.apache.maven.artifact.DefaultArtifact;
import org.apache.maven.artifact.handler.DefaultArtifactHandler;
import org.apache.maven.model.Organization;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.project.MavenProject;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * What the goal gives the tool, from the project and its parameters, and what it makes of the
 * tool's answer.
 */
class ImageMojoTest {
  @TempDir Path directory;

  /** A tool that records its command line and answers with the given code and error lines. */
  static final class FakeTool implements ToolProvider {
    final int status;
    final List<String> errors;
    List<String> words;

    FakeTool(int status, String... errors) {
      this.status = status;
      this.errors = List.of(errors);
    }

    @Override
    public String name() {
      return ImageMojo.TOOL;
    }

    @Override
    public int run(PrintWriter out, PrintWriter err, String... args) {
      words = List.of(args);
      out.println("vantorix-image: wrote somewhere");
      errors.forEach(err::println);
      return status;
    }
  }

  private Path jar(String name, Attributes attributes) throws IOException {
    Manifest manifest = new Manifest();
    manifest.getMainAttributes().put(Attributes.Name.MANIFEST_VERSION, "1.0");
    manifest.getMainAttributes().putAll(attributes);
    Path jar = Files.createDirectories(directory.resolve("jars").resolve(name)).resolve(name + ".jar");
    try (OutputStream out = Files.newOutputStream(jar);
        JarOutputStream unused = new JarOutputStream(out, manifest)) {
      return jar;
    }
  }

  private static Attributes mainClass(String name) {
    Attributes attributes = new Attributes();
    attributes.put(Attributes.Name.MAIN_CLASS, name);
    return attributes;
  }

  private static Artifact artifact(String group, String id, Path file) {
    // As Maven's own handler of jars: they go on the class path.
    DefaultArtifactHandler jar = new DefaultArtifactHandler("jar");
    jar.setAddedToClasspath(true);
    DefaultArtifact artifact = new DefaultArtifact(group, id, "1", "compile", "jar", null, jar);
    artifact.setFile(file.toFile());
    return artifact;
  }

  /** The goal for a project hello 1.0-SNAPSHOT whose jar is the given one. */
  private ImageMojo mojo(Path jar, Artifact... dependencies) {
    MavenProject project = new MavenProject();
    project.setGroupId("org.example");
    project.setArtifactId("hello");
    project.setVersion("1.0-SNAPSHOT");
    project.getBuild().setDirectory(directory.resolve("target").toString());
    Artifact artifact = artifact("org.example", "hello", jar);
    project.setArtifact(artifact);
    project.setArtifacts(new LinkedHashSet<>(List.of(dependencies)));
    ImageMojo mojo = new ImageMojo();
    mojo.project = project;
    mojo.name = "hello";
    mojo.force = true;
    return mojo;
  }

  private static List<String> valuesOf(List<String> words, String option) {
    List<String> values = new ArrayList<>();
    for (int at = 0; at + 1 < words.size(); at++) {
      if (words.get(at).equals(option)) {
        values.add(words.get(at + 1));
      }
    }
    return values;
  }

  private static Set<String> filesIn(Path directory) throws IOException {
    try (var files = Files.list(directory)) {
      return Set.copyOf(files.map(p -> p.getFileName().toString()).toList());
    }
  }

  @Test
  void aJarAloneRunsAsTheMainJarWithTheProjectsDefaults() throws Exception {
    ImageMojo mojo = mojo(jar("hello-1.0-SNAPSHOT", mainClass("org.example.Hello")));
    FakeTool tool = new FakeTool(0);
    mojo.tool = tool;
    mojo.execute();
    Path target = directory.resolve("target");
    assertEquals(List.of("hello"), valuesOf(tool.words, "--name"));
    assertEquals(List.of(target.resolve("vantorix-input").toString()), valuesOf(tool.words, "--input"));
    assertEquals(List.of("hello-1.0-SNAPSHOT.jar"), valuesOf(tool.words, "--main-jar"));
    assertEquals(List.of(), valuesOf(tool.words, "--class-path"));
    assertEquals(List.of(target.resolve("hello").toString()), valuesOf(tool.words, "--output"));
    assertTrue(tool.words.contains("--force"));
    assertEquals(Set.of("hello-1.0-SNAPSHOT.jar"), filesIn(target.resolve("vantorix-input")));
    // The launchers the plugin carries are copied out for the tool, executable.
    Path launcher = Path.of(valuesOf(tool.words, "--launchers").get(0), "VantorixLauncher");
    assertTrue(Files.isExecutable(launcher), launcher.toString());
  }

  @Test
  void dependenciesGoBesideTheJarAndTheMainClassRunsWithAClassPathNamingThem() throws Exception {
    Path jar = jar("hello-1.0-SNAPSHOT", mainClass("org.example.Hello"));
    ImageMojo mojo =
        mojo(
            jar,
            artifact("commons-cli", "commons-cli", jar("cli-1", new Attributes())),
            artifact("org.other", "cli", Files.copy(jar("other", new Attributes()),
                directory.resolve("jars/other/cli-1.jar"))));
    FakeTool tool = new FakeTool(0);
    mojo.tool = tool;
    mojo.execute();
    assertEquals(List.of(), valuesOf(tool.words, "--main-jar"));
    assertEquals(List.of("org.example.Hello"), valuesOf(tool.words, "--main-class"));
    assertEquals(
        List.of("hello-1.0-SNAPSHOT.jar", "cli-1.jar", "org.other.cli-1.jar"),
        valuesOf(tool.words, "--class-path"));
    assertEquals(
        Set.of("hello-1.0-SNAPSHOT.jar", "cli-1.jar", "org.other.cli-1.jar"),
        filesIn(directory.resolve("target/vantorix-input")));
  }

  @Test
  void aManifestClassPathOrNoMainClassKeepsTheMainJar() throws Exception {
    Attributes withClassPath = mainClass("org.example.Hello");
    withClassPath.put(Attributes.Name.CLASS_PATH, "cli-1.jar");
    for (Attributes attributes : List.of(withClassPath, new Attributes())) {
      Path jar = jar("hello-" + attributes.size(), attributes);
      ImageMojo mojo = mojo(jar, artifact("commons-cli", "commons-cli", jar("cli-1", new Attributes())));
      FakeTool tool = new FakeTool(0);
      mojo.tool = tool;
      mojo.execute();
      assertEquals(List.of(jar.getFileName().toString()), valuesOf(tool.words, "--main-jar"));
      assertEquals(List.of(), valuesOf(tool.words, "--main-class"));
    }
  }

  @Test
  void givenParametersWinAndListsRepeatTheirOption() throws Exception {
    ImageMojo mojo = mojo(jar("hello-1.0-SNAPSHOT", mainClass("org.example.Hello")));
    mojo.version = "3.1";
    mojo.javaOptions = List.of("-Xmx1g", "-Dorbit.home=$APPDIR");
    mojo.installer = "deb";
    mojo.force = false;
    FakeTool tool = new FakeTool(0);
    mojo.tool = tool;
    mojo.execute();
    assertEquals(List.of("3.1"), valuesOf(tool.words, "--version"));
    assertEquals(List.of("-Xmx1g", "-Dorbit.home=$APPDIR"), valuesOf(tool.words, "--java-option"));
    assertEquals(List.of("deb"), valuesOf(tool.words, "--installer"));
    assertTrue(!tool.words.contains("--force"));
  }

  @Test
  void theProjectsVersionVendorAndDescriptionGoWhereTheyAreUsed() throws Exception {
    record Case(String target, String installer, boolean branded) {}
    for (Case c :
        List.of(
            new Case(null, null, false),
            new Case("linux-x64", null, false),
            new Case(null, "deb", true),
            new Case("windows-x64", null, true))) {
      ImageMojo mojo = mojo(jar("hello-1.0-SNAPSHOT", mainClass("org.example.Hello")));
      Organization organization = new Organization();
      organization.setName("Orbit Works");
      mojo.project.setOrganization(organization);
      mojo.project.setDescription("Planets");
      mojo.target = c.target();
      mojo.installer = c.installer();
      FakeTool tool = new FakeTool(0);
      mojo.tool = tool;
      mojo.execute();
      List<String> expected = c.branded() ? List.of("1.0", "Orbit Works", "Planets") : List.of();
      List<String> given = new ArrayList<>();
      for (String option : List.of("--version", "--vendor", "--description")) {
        given.addAll(valuesOf(tool.words, option));
      }
      assertEquals(expected, given, c.toString());
    }
  }

  @Test
  void aNameThatIsNoPathIsLeftToTheTool() throws Exception {
    ImageMojo mojo = mojo(jar("hello-1.0-SNAPSHOT", mainClass("org.example.Hello")));
    mojo.name = "bad\0name";
    FakeTool tool = new FakeTool(0);
    mojo.tool = tool;
    mojo.execute();
    assertEquals(List.of("bad\0name"), valuesOf(tool.words, "--name"));
    assertEquals(List.of(), valuesOf(tool.words, "--output"));
  }

  @Test
  void theToolsRefusalIsTheBuildsErrorInItsOneLine() throws Exception {
    ImageMojo mojo = mojo(jar("hello-1.0-SNAPSHOT", new Attributes()));
    String line = "vantorix-image: the main jar hello-1.0-SNAPSHOT.jar has no Main-Class in its manifest";
    mojo.tool = new FakeTool(1, line);
    MojoFailureException failure = assertThrows(MojoFailureException.class, mojo::execute);
    assertEquals(line, failure.getMessage());
    mojo.tool = new FakeTool(3);
    assertEquals("vantorix-image ended with 3",
        assertThrows(MojoFailureException.class, mojo::execute).getMessage());
  }

  @Test
  void skipRunsNothingAndAProjectWithoutAJarIsRefused() throws Exception {
    ImageMojo mojo = mojo(directory.resolve("missing.jar"));
    FakeTool tool = new FakeTool(0);
    mojo.tool = tool;
    mojo.skip = true;
    mojo.execute();
    assertNull(tool.words);
    mojo.skip = false;
    MojoFailureException failure = assertThrows(MojoFailureException.class, mojo::execute);
    assertTrue(failure.getMessage().startsWith("the project has no jar for the image"));
    assertNull(tool.words);
  }

  @Test
  void theNumericVersionIsTheStartOfTheProjectsVersion() {
    String[][] cases = {
      {"1.2-SNAPSHOT", "1.2"}, {"2.5.1", "2.5.1"}, {"10", "10"}, {"1.2.3.4.5", "1.2.3.4"},
      {"2024.1-rc1", "2024.1"}, {"v1.0", null}, {"", null}
    };
    for (String[] c : cases) {
      assertEquals(c[1], ImageMojo.numericVersion(c[0]), c[0]);
    }
  }

  @Test
  void theToolIsFoundWithThePluginsClassLoader() throws Exception {
    assertEquals(ImageMojo.TOOL, ImageMojo.findTool().name());
  }
}
