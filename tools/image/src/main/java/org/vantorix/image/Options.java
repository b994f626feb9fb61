package org.vantorix.image;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.stream.Collectors;
import org.vantorix.image.base.Refusal;

/**
 * The command line, as given, read by the options of {@link OptionTable}. Every option with a
 * value takes the next word as it is, so that values starting with '-' need no special form:
 * {@code --java-option -Xmx1g} and {@code --argument --verbose} work as written.
 */
final class Options {
  private final Map<Option.Value, String> values;
  private final Map<Option.Repeated, List<String>> lists;
  private final Set<Option.Flag> flags;

  private Options(
      Map<Option.Value, String> values,
      Map<Option.Repeated, List<String>> lists,
      Set<Option.Flag> flags) {
    this.values = values;
    this.lists = lists;
    this.flags = flags;
  }

  static Options parse(String... args) {
    Map<Option.Value, String> values = new HashMap<>();
    Map<Option.Repeated, List<String>> lists = new HashMap<>();
    Set<Option.Flag> flags = new HashSet<>();
    for (int at = 0; at < args.length; at++) {
      String word = args[at];
      if (word.equals("-h")) {
        word = OptionTable.HELP.spelled();
      }
      if (!word.startsWith("--")) {
        throw Refusal.of("unexpected %s: every value follows its option (see --help)", word);
      }
      int equals = word.indexOf('=');
      String name = equals < 0 ? word.substring(2) : word.substring(2, equals);
      Option option =
          OptionTable.named(name)
              .orElseThrow(() -> Refusal.of("unknown option --%s (see --help)", name));
      if (option instanceof Option.Flag flag) {
        if (equals >= 0) {
          throw Refusal.of("--%s takes no value", name);
        }
        flags.add(flag);
        continue;
      }
      String value;
      if (equals >= 0) {
        value = word.substring(equals + 1);
      } else if (at + 1 < args.length) {
        value = args[++at];
      } else {
        throw Refusal.of("--%s needs a value", name);
      }
      if (option instanceof Option.Repeated repeated) {
        lists.computeIfAbsent(repeated, n -> new ArrayList<>()).add(value);
      } else if (values.putIfAbsent((Option.Value) option, value) != null) {
        throw Refusal.of("--%s is given twice", name);
      }
    }
    Map<Option.Repeated, List<String>> copied = new HashMap<>();
    lists.forEach((option, list) -> copied.put(option, List.copyOf(list)));
    Options options = new Options(Map.copyOf(values), Map.copyOf(copied), Set.copyOf(flags));
    if (options.help()) {
      return options;
    }
    for (Option required : OptionTable.with(Option.Trait.REQUIRED)) {
      if (!options.given(required)) {
        throw Refusal.of("%s is required (see --help)", required.spelled());
      }
    }
    String target = options.value(OptionTable.TARGET);
    if (target != null && Target.named(target).isEmpty()) {
      throw Refusal.of("unknown target %s: one of %s", target, Target.labels());
    }
    return options;
  }

  boolean help() {
    return flag(OptionTable.HELP);
  }

  /** The value of an option, or null when it is not given. */
  String value(Option.Value option) {
    return values.get(option);
  }

  /** The value of an option as an absolute, normalized path, or null when it is not given. */
  Path path(Option.Value option) {
    String value = values.get(option);
    return value == null ? null : Path.of(value).toAbsolutePath().normalize();
  }

  /** The values of a repeated option in their order; empty when it is not given. */
  List<String> list(Option.Repeated option) {
    return lists.getOrDefault(option, List.of());
  }

  boolean flag(Option.Flag option) {
    return flags.contains(option);
  }

  boolean given(Option option) {
    if (option instanceof Option.Value value) {
      return values.containsKey(value);
    }
    if (option instanceof Option.Repeated repeated) {
      return lists.containsKey(repeated);
    }
    return flags.contains((Option.Flag) option);
  }

  /** The options given, in the table's order. */
  List<Option> givenOf(List<? extends Option> options) {
    return options.stream().filter(this::given).collect(Collectors.toList());
  }

  /** The one entry point given: refused unless exactly one of the table's is. */
  Option.Value entryPoint() {
    List<Option> entryPoints = OptionTable.with(Option.Trait.ENTRY_POINT);
    List<Option> given = givenOf(entryPoints);
    if (given.size() != 1) {
      throw Refusal.of(
          "give one of %s (given: %s)",
          spelled(entryPoints, " and "),
          given.isEmpty() ? "none" : spelled(given, ", "));
    }
    return (Option.Value) given.get(0);
  }

  /** Options as a message names them: "--a, --b" with the last joined by {@code last}. */
  static String spelled(List<? extends Option> options, String last) {
    List<String> names = options.stream().map(Option::spelled).toList();
    if (names.size() < 2) {
      return String.join("", names);
    }
    return String.join(", ", names.subList(0, names.size() - 1)) + last
        + names.get(names.size() - 1);
  }
}
