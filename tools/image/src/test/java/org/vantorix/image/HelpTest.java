package org.vantorix.image;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Test;

/** --help names every option that the parser takes. */
class HelpTest {
  @Test
  void listsEveryOption() {
    Fixtures.Run run = Fixtures.run("--help");
    assertEquals(0, run.code());
    assertEquals("", run.err());
    List<String> options = new ArrayList<>(Options.VALUES);
    options.addAll(Options.LISTS);
    options.addAll(Options.FLAGS);
    options.add("help");
    for (String option : options) {
      assertTrue(run.out().contains("\n  --" + option + " "), "--" + option + " is not in the help");
    }
    assertTrue(run.out().contains("Example:\n  vantorix-image --name Orbit"), run.out());
  }
}
