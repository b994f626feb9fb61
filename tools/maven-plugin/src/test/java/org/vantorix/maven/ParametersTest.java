package org.vantorix.maven;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeMap;
import java.util.TreeSet;
import javax.xml.parsers.DocumentBuilderFactory;
import org.junit.jupiter.api.Test;
import org.vantorix.image.ToolOptions;
import org.vantorix.image.ToolOptions.Option;
import org.w3c.dom.Document;
import org.w3c.dom.Element;
import org.w3c.dom.NodeList;

/**
 * The goal's parameters are the tool's options: every option has its parameter, and the generated
 * source and the docs' table are those that the options table gives today. With
 * -Dvantorix.regenerate=true the two files are written again instead.
 */
class ParametersTest {
  private static final Path SOURCE_ROOT = Path.of(System.getProperty("vantorix.sourceRoot", "../.."));
  private static final Path PARAMETERS =
      SOURCE_ROOT.resolve("tools/maven-plugin/src/main/java/org/vantorix/maven/ImageParameters.java");
  private static final Path DOC = SOURCE_ROOT.resolve("docs/maven.md");
  private static final boolean REGENERATE = Boolean.getBoolean("vantorix.regenerate");
  private static final String HOW =
      " is out of date with the image tool's options: run the Maven plugin's tests with"
          + " -Dvantorix.regenerate=true (see docs/maven.md)";

  @Test
  void everyOptionHasAParameterOfItsKind() throws Exception {
    Map<String, String> parameters = descriptorParameters();
    List<String> missing = new ArrayList<>();
    for (Option option : ToolOptions.all()) {
      String type = parameters.remove(ParametersGenerator.parameterName(option));
      if (type == null) {
        missing.add("--" + option.name());
        continue;
      }
      String expected =
          option.value() == null
              ? "boolean"
              : option.repeats()
                  ? "java.util.List"
                  : ParametersGenerator.isFile(option) ? "java.io.File" : "java.lang.String";
      assertEquals(expected, type, "the parameter of --" + option.name());
    }
    assertEquals(List.of(), missing, "options without a parameter");
    // Beyond the options, only the goal's own parameters.
    assertEquals(Set.of("skip", "project"), parameters.keySet());
  }

  @Test
  void everyOptionHasHelp() {
    for (Option option : ToolOptions.all()) {
      assertTrue(!option.help().isBlank() && !option.group().isBlank(), "--" + option.name());
    }
  }

  @Test
  void defaultsNameOptionsOfTheTool() {
    Set<String> names = new TreeSet<>();
    ToolOptions.all().forEach(option -> names.add(option.name()));
    Set<String> unknown = new TreeSet<>(ProjectDefaults.BY_OPTION.keySet());
    unknown.removeAll(names);
    assertEquals(Set.of(), unknown);
  }

  @Test
  void generatedParametersAreCurrent() throws Exception {
    String generated = ParametersGenerator.parametersSource(ToolOptions.all());
    if (REGENERATE) {
      Files.writeString(PARAMETERS, generated, StandardCharsets.UTF_8);
      return;
    }
    if (!generated.equals(read(PARAMETERS))) {
      fail(PARAMETERS + HOW);
    }
  }

  @Test
  void docTableIsCurrent() throws Exception {
    String doc = read(DOC);
    int begin = doc.indexOf(ParametersGenerator.TABLE_BEGIN);
    int end = doc.indexOf(ParametersGenerator.TABLE_END);
    assertTrue(begin >= 0 && end > begin, DOC + " has no generated table between its markers");
    String table = ParametersGenerator.table(ToolOptions.all());
    String current =
        doc.substring(0, begin) + table + doc.substring(end + ParametersGenerator.TABLE_END.length());
    if (REGENERATE) {
      Files.writeString(DOC, current, StandardCharsets.UTF_8);
      return;
    }
    if (!current.equals(doc)) {
      fail(DOC + "'s parameter table" + HOW);
    }
  }

  @Test
  void namesFollowTheOptions() {
    record Case(String option, boolean repeats, String parameter, String element) {}
    for (Case c :
        List.of(
            new Case("main-jar", false, "mainJar", "mainJar"),
            new Case("java-option", true, "javaOptions", "javaOption"),
            new Case("add-modules", true, "addModules", "addModule"),
            new Case("launcher", true, "launcherList", "launcher"),
            new Case("no-fast-start", false, "noFastStart", "noFastStart"))) {
      Option option = new Option(c.option(), "X", c.repeats(), "", "");
      assertEquals(c.parameter(), ParametersGenerator.parameterName(option));
      if (c.repeats()) {
        assertEquals(c.element(), ParametersGenerator.elementName(option));
      }
    }
  }

  /** The image goal's parameters and their types, as the plugin's descriptor gives them to Maven. */
  private static Map<String, String> descriptorParameters() throws Exception {
    Map<String, String> parameters = new TreeMap<>();
    try (InputStream in =
        ParametersTest.class.getClassLoader().getResourceAsStream("META-INF/maven/plugin.xml")) {
      assertNotNull(in, "no plugin descriptor on the class path");
      Document descriptor = DocumentBuilderFactory.newInstance().newDocumentBuilder().parse(in);
      NodeList mojos = descriptor.getElementsByTagName("mojo");
      for (int m = 0; m < mojos.getLength(); m++) {
        Element mojo = (Element) mojos.item(m);
        if (!childText(mojo, "goal").equals("image")) {
          continue;
        }
        NodeList list = mojo.getElementsByTagName("parameter");
        for (int p = 0; p < list.getLength(); p++) {
          Element parameter = (Element) list.item(p);
          parameters.put(childText(parameter, "name"), childText(parameter, "type"));
        }
      }
    }
    return parameters;
  }

  private static String childText(Element element, String name) {
    NodeList children = element.getChildNodes();
    for (int at = 0; at < children.getLength(); at++) {
      if (children.item(at) instanceof Element child && child.getTagName().equals(name)) {
        return child.getTextContent().strip();
      }
    }
    return "";
  }

  private static String read(Path path) throws IOException {
    return Files.exists(path) ? Files.readString(path, StandardCharsets.UTF_8) : "";
  }
}
