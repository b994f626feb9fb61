package org.vantorix.maven;

import java.util.Map;

/**
 * The defaults that the goal takes from the project, by option. An expression is Maven's own
 * parameter default; the others the goal works out before it runs the tool. The generated
 * parameters and their table in the docs are written from this and the tool's options table.
 */
final class ProjectDefaults {
  /** A default: a Maven expression (or null when the goal computes it) and its description. */
  record Default(String expression, String described) {}

  static final Map<String, Default> BY_OPTION =
      Map.ofEntries(
          Map.entry("name", new Default("${project.artifactId}", "the project's artifactId")),
          Map.entry(
              "version",
              new Default(
                  null,
                  "the numeric part of the project's version (1.2 of 1.2-SNAPSHOT), for a Windows"
                      + " image or an installer")),
          Map.entry(
              "vendor",
              new Default(null, "the organization's name, for a Windows image or an installer")),
          Map.entry(
              "description",
              new Default(null, "the project's description, for a Windows image or an installer")),
          Map.entry(
              "input",
              new Default(
                  null,
                  "target/vantorix-input, with the project's jar and its runtime dependencies")),
          Map.entry(
              "main-jar",
              new Default(
                  null,
                  "the project's jar, when it has no runtime dependencies or its manifest has a"
                      + " Class-Path")),
          Map.entry(
              "main-class",
              new Default(
                  null, "the Main-Class of the project's jar, when it has runtime dependencies")),
          Map.entry(
              "class-path",
              new Default(
                  null, "the project's jar and its runtime dependencies, with that main class")),
          Map.entry(
              "module-path",
              new Default(
                  null,
                  "the project's jar and its runtime dependencies, when a main module is given")),
          Map.entry("output", new Default(null, "target/NAME")),
          Map.entry(
              "launchers",
              new Default(null, "the launchers that the plugin carries, for the target")),
          Map.entry(
              "force",
              new Default("true", "true: a build replaces the image that it made before")));

  private ProjectDefaults() {}
}
