package org.vantorix.image;

import java.util.ArrayList;
import java.util.List;
import org.vantorix.image.base.Refusal;

/** Command words: a shell line split as a POSIX shell would, and quoting for sh. */
final class Words {
  /** Splits at blanks outside quotes; single quotes, double quotes and backslashes as in sh. */
  static List<String> split(String line) {
    List<String> words = new ArrayList<>();
    StringBuilder word = new StringBuilder();
    boolean inWord = false;
    char quote = 0;
    for (int i = 0; i < line.length(); i++) {
      char c = line.charAt(i);
      if (quote == '\'') {
        if (c == '\'') {
          quote = 0;
        } else {
          word.append(c);
        }
      } else if (quote == '"') {
        if (c == '"') {
          quote = 0;
        } else if (c == '\\'
            && i + 1 < line.length()
            && "\"\\$`".indexOf(line.charAt(i + 1)) >= 0) {
          word.append(line.charAt(++i));
        } else {
          word.append(c);
        }
      } else if (c == '\'' || c == '"') {
        quote = c;
        inWord = true;
      } else if (c == '\\' && i + 1 < line.length()) {
        word.append(line.charAt(++i));
        inWord = true;
      } else if (Character.isWhitespace(c)) {
        if (inWord) {
          words.add(word.toString());
          word.setLength(0);
          inWord = false;
        }
      } else {
        word.append(c);
        inWord = true;
      }
    }
    if (quote != 0) {
      throw Refusal.of("the command %s has an unclosed quote", ConfigText.shown(line));
    }
    if (inWord) {
      words.add(word.toString());
    }
    return words;
  }

  /** A word quoted for sh. */
  static String quote(String word) {
    return "'" + word.replace("'", "'\\''") + "'";
  }

  private Words() {}
}
