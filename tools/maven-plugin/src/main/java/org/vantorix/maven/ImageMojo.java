package org.vantorix.maven;

import java.io.File;
import java.io.IOException;
import java.io.PrintWriter;
import java.nio.file.Files;
import java.nio.file.InvalidPathException;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.ServiceConfigurationError;
import java.util.ServiceLoader;
import java.util.jar.Attributes;
import java.util.jar.JarFile;
import java.util.jar.Manifest;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.spi.ToolProvider;
import java.util.stream.Stream;
import org.apache.maven.artifact.Artifact;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;
import org.apache.maven.plugins.annotations.ResolutionScope;
import org.apache.maven.project.MavenProject;

/**
 * Makes the project's application image, and its installer when {@code installer} is set, with
 * the image tool, run in this build's Java runtime. Each parameter corresponds to the tool's option
 * of the same name; those left out take their defaults from the project.
 */
@Mojo(
    name = "image",
    defaultPhase = LifecyclePhase.PACKAGE,
    requiresDependencyResolution = ResolutionScope.RUNTIME,
    threadSafe = true)
public class ImageMojo extends ImageParameters {
  static final String TOOL = "vantorix-image";
  private static final Pattern NUMERIC_VERSION = Pattern.compile("^[0-9]+(\\.[0-9]+){0,3}");

  @Parameter(defaultValue = "${project}", readonly = true, required = true)
  MavenProject project;

  /** Skips the goal: no image, no installer. */
  @Parameter(property = "vantorix.skip", defaultValue = "false")
  boolean skip;

  /** The tool to run; null for the one on the plugin's class path (the tests give their own). */
  ToolProvider tool;

  @Override
  public void execute() throws MojoExecutionException, MojoFailureException {
    if (skip) {
      getLog().info("Skipping the image (vantorix.skip)");
      return;
    }
    try {
      applyDefaults(Path.of(project.getBuild().getDirectory()));
    } catch (IOException e) {
      throw new MojoExecutionException("cannot prepare the image's files: " + e.getMessage(), e);
    }
    ToolArguments arguments = new ToolArguments();
    addArguments(arguments);
    run(tool != null ? tool : findTool(), arguments.words());
  }

  private void applyDefaults(Path build) throws IOException, MojoFailureException {
    if (output == null) {
      try {
        output = build.resolve(name).toFile();
      } catch (InvalidPathException e) {
        // No default then: the tool refuses the name in its own words.
      }
    }
    if (input == null) {
      stageInput(build.resolve("vantorix-input"));
    }
    String imageTarget = target;
    if (launchers == null) {
      PluginLaunchers carried = PluginLaunchers.carried();
      imageTarget = carried.choose(target);
      Path extracted = carried.extract(imageTarget, build.resolve("vantorix-launchers"));
      if (extracted != null) {
        launchers = extracted.toFile();
      }
    }
    // The version, vendor and description brand a Windows executable and describe an
    // installer; a Linux image has no place for them (and the tool says so when given).
    if (installer != null || imageTarget == null || imageTarget.startsWith("windows")) {
      if (version == null) {
        version = numericVersion(project.getVersion());
      }
      if (vendor == null && project.getOrganization() != null) {
        vendor = project.getOrganization().getName();
      }
      if (description == null) {
        description = project.getDescription();
      }
    }
  }

  /** The numeric start of a version (1 to 4 numbers), or null when it starts with none. */
  static String numericVersion(String version) {
    Matcher numeric = NUMERIC_VERSION.matcher(version == null ? "" : version);
    return numeric.find() ? numeric.group() : null;
  }

  /**
   * The image's app/ files: the project's jar and its runtime dependencies, side by side in a
   * directory made afresh; and what to run from them, unless the configuration says.
   */
  private void stageInput(Path staging) throws IOException, MojoFailureException {
    File jar = project.getArtifact().getFile();
    if (jar == null || !jar.isFile() || !jar.getName().endsWith(".jar")) {
      throw new MojoFailureException(
          "the project has no jar for the image: run the goal in the package phase of a jar"
              + " project (mvn package), or give <input> with <mainJar> or <mainClass>");
    }
    deleteTree(staging);
    Files.createDirectories(staging);
    List<String> files = new ArrayList<>();
    files.add(copy(jar, staging, jar.getName()));
    for (Artifact dependency : project.getArtifacts()) {
      if (dependency.getFile() == null || !dependency.getArtifactHandler().isAddedToClasspath()) {
        continue;
      }
      String file = dependency.getFile().getName();
      if (files.contains(file)) {
        file = dependency.getGroupId() + "." + file;
      }
      files.add(copy(dependency.getFile(), staging, file));
    }
    input = staging.toFile();
    if (mainJar == null && mainClass == null && mainModule == null) {
      Attributes manifest = manifestOf(jar);
      String main = manifest.getValue(Attributes.Name.MAIN_CLASS);
      // Only a jar's manifest can give its class path; without one, the main class and the
      // jars beside it make the class path.
      if (files.size() == 1 || main == null || manifest.getValue(Attributes.Name.CLASS_PATH) != null) {
        mainJar = jar.getName();
      } else {
        mainClass = main;
      }
    }
    if (mainClass != null && (classPaths == null || classPaths.isEmpty())) {
      classPaths = files;
    }
    if (mainModule != null && (modulePaths == null || modulePaths.isEmpty())) {
      modulePaths = files;
    }
  }

  private static String copy(File from, Path directory, String name) throws IOException {
    Files.copy(from.toPath(), directory.resolve(name), StandardCopyOption.COPY_ATTRIBUTES);
    return name;
  }

  private static Attributes manifestOf(File jar) throws IOException {
    try (JarFile file = new JarFile(jar)) {
      Manifest manifest = file.getManifest();
      return manifest == null ? new Attributes() : manifest.getMainAttributes();
    }
  }

  private static void deleteTree(Path tree) throws IOException {
    if (!Files.exists(tree)) {
      return;
    }
    try (Stream<Path> paths = Files.walk(tree)) {
      for (Path path : paths.sorted(Comparator.reverseOrder()).toList()) {
        Files.delete(path);
      }
    }
  }

  /** The image tool, found with this plugin's own class loader (the tool is its dependency). */
  static ToolProvider findTool() throws MojoExecutionException {
    try {
      for (ToolProvider tool :
          ServiceLoader.load(ToolProvider.class, ImageMojo.class.getClassLoader())) {
        if (tool.name().equals(TOOL)) {
          return tool;
        }
      }
    } catch (ServiceConfigurationError e) {
      throw new MojoExecutionException("cannot load the image tool: " + e.getMessage(), e);
    }
    throw new MojoExecutionException(
        "the image tool (" + TOOL + ") is not on the plugin's class path");
  }

  /**
   * Runs the tool. What it prints goes to the log as it comes; when it fails, its last line of
   * standard error (its one line saying what is wrong) is the build's error.
   */
  void run(ToolProvider tool, List<String> words) throws MojoFailureException {
    getLog().debug(TOOL + " " + String.join(" ", words));
    List<String> errors = new ArrayList<>();
    int status;
    try (PrintWriter out = new PrintWriter(new LineWriter(getLog()::info));
        PrintWriter err = new PrintWriter(new LineWriter(errors::add))) {
      status = tool.run(out, err, words.toArray(String[]::new));
    }
    List<String> said = errors.stream().filter(line -> !line.isBlank()).toList();
    if (status == 0) {
      said.forEach(getLog()::warn);
      return;
    }
    said.subList(0, Math.max(0, said.size() - 1)).forEach(getLog()::warn);
    throw new MojoFailureException(
        said.isEmpty() ? TOOL + " ended with " + status : said.get(said.size() - 1));
  }
}
