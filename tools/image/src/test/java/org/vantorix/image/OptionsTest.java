package org.vantorix.image;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.vantorix.image.base.Refusal;

/** The parser and the checks that come from the option table. */
class OptionsTest {
  private static final List<String> REQUIRED = List.of("--name", "Orbit", "--input", "in");

  private static Options parse(String... words) {
    List<String> args = new ArrayList<>(REQUIRED);
    args.addAll(List.of(words));
    return Options.parse(args.toArray(String[]::new));
  }

  @Test
  void everyOptionOfTheTableIsReadByItsKind() {
    for (Option option : OptionTable.all()) {
      if (option.traits().contains(Option.Trait.REQUIRED)) {
        continue;
      }
      // A value that starts with a dash is a value all the same.
      String value = option == OptionTable.TARGET ? "linux-x64" : "-x";
      if (option instanceof Option.Repeated repeated) {
        assertEquals(List.of(value, "y"),
            parse(option.spelled(), value, option.spelled() + "=y").list(repeated));
      } else if (option instanceof Option.Flag flag) {
        assertTrue(parse(option.spelled()).flag(flag), option.spelled());
        assertEquals(option.spelled() + " takes no value",
            assertThrows(Refusal.class, () -> parse(option.spelled() + "=1")).getMessage());
      } else {
        assertEquals(value, parse(option.spelled(), value).value((Option.Value) option));
        assertEquals(option.spelled() + " is given twice",
            assertThrows(Refusal.class, () -> parse(option.spelled(), value, option.spelled(), value))
                .getMessage());
      }
    }
  }

  @Test
  void requiredOptionsAndHelp() {
    assertEquals("--input is required (see --help)",
        assertThrows(Refusal.class, () -> Options.parse("--name", "Orbit")).getMessage());
    assertTrue(Options.parse("-h").help());
  }

  @Test
  void exactlyOneEntryPoint() {
    assertEquals(OptionTable.MAIN_CLASS, parse("--main-class", "Main").entryPoint());
    assertEquals("give one of --main-jar, --main-class and --main-module (given: none)",
        assertThrows(Refusal.class, () -> parse().entryPoint()).getMessage());
    assertEquals("give one of --main-jar, --main-class and --main-module (given: --main-jar,"
            + " --main-module)",
        assertThrows(Refusal.class,
            () -> parse("--main-module", "m", "--main-jar", "a.jar").entryPoint()).getMessage());
  }

  @Test
  void installerOptionsGoWithTheirInstaller() {
    for (Option option : OptionTable.all()) {
      boolean exe = option.traits().contains(Option.Trait.SETUP_PROGRAM);
      boolean deb = option.traits().contains(Option.Trait.DEBIAN_PACKAGE);
      if (!exe && !deb) {
        continue;
      }
      List<String> words = new ArrayList<>(List.of(option.spelled()));
      if (!(option instanceof Option.Flag)) {
        words.add("x");
      }
      String expected =
          option.spelled() + " goes with "
              + (exe && deb ? "--installer exe or --installer deb" : "--installer " + (exe ? "exe" : "deb"));
      assertEquals(expected, refusal(words));
      words.addAll(List.of("--installer", exe ? "deb" : "exe"));
      if (!(exe && deb)) {
        assertEquals(expected, refusal(words));
      }
    }
  }

  private static String refusal(List<String> words) {
    return assertThrows(Refusal.class,
        () -> InstallerStep.plan(parse(words.toArray(String[]::new)), null)).getMessage();
  }
}
