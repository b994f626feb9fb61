package org.vantorix.image;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.nio.charset.StandardCharsets;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.vantorix.image.base.Refusal;

class ConfigTextTest {
  @Test
  void sectionsInTheOrderOfTheirFirstPropertyAndValuesAsGiven() {
    byte[] data =
        ConfigText.create()
            .add("Application", "app.mainjar", "$APPDIR\\a=b.jar")
            .add("JavaOptions", "java-options", "-Dx=Grüß Gott")
            .add("Application", "app.runtime", "")
            .data("Orbit");
    assertEquals(
        "; Orbit: launcher config file (UTF-8), written by vantorix-image\n"
            + "[Application]\napp.mainjar=$APPDIR\\a=b.jar\napp.runtime=\n"
            + "[JavaOptions]\njava-options=-Dx=Grüß Gott\n",
        new String(data, StandardCharsets.UTF_8));
  }

  static Stream<Arguments> unrepresentable() {
    return Stream.of(
        Arguments.of("a\nb", "the x value \"a\\nb\" holds a line break, which the config file"
            + " cannot represent (one value is one line)"),
        Arguments.of("a\rb", "the x value \"a\\rb\" holds a carriage return"),
        Arguments.of("a\u0000b", "the x value \"a\\x00b\" holds a NUL character"),
        Arguments.of("a\u001ab", "the x value \"a\\x1ab\" holds a Ctrl-Z character"),
        Arguments.of("a\ud800b",
            "the x value \"a\\xd800b\" is not valid text (its bytes are not UTF-8)"));
  }

  @ParameterizedTest
  @MethodSource("unrepresentable")
  void refusesWhatOneLineCannotCarry(String value, String message) {
    Refusal refusal = assertThrows(Refusal.class, () -> ConfigText.checkValue("the x value", value));
    assertEquals(message, refusal.getMessage().substring(0, message.length()));
  }
}
