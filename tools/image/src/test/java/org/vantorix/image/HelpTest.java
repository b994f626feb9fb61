package org.vantorix.image;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

/** --help shows every option of the table, under its group's title, with its help line. */
class HelpTest {
  @Test
  void showsEveryOptionOfTheTableInItsGroup() {
    Fixtures.Run run = Fixtures.run("--help");
    assertEquals(0, run.code());
    assertEquals("", run.err());
    String help = run.out();
    for (Option option : OptionTable.all()) {
      String head =
          "\n  " + option.spelled() + (option.argument() == null ? "" : " " + option.argument())
              + " ";
      int at = help.indexOf(head);
      assertTrue(at >= 0, option.spelled() + " is not in the help");
      assertTrue(help.startsWith(option.help().lines().findFirst().orElseThrow(),
          help.indexOf(option.help().charAt(0), at + head.length())), option.spelled());
      int title = help.lastIndexOf("\n" + option.group().title + "\n", at);
      assertTrue(title >= 0, option.spelled() + " is not under " + option.group().title);
      for (Option.Group other : Option.Group.values()) {
        int otherTitle = help.indexOf("\n" + other.title + "\n");
        assertTrue(other == option.group() || otherTitle < title || otherTitle > at,
            option.spelled() + " is under " + other.title);
      }
    }
    assertTrue(help.contains("Example:\n  vantorix-image --name Orbit"), help);
  }
}
