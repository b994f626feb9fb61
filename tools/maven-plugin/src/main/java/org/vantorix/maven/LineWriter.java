package org.vantorix.maven;

import java.io.Writer;
import java.util.function.Consumer;

/** A writer that hands each complete line to a consumer, such as Maven's log. */
final class LineWriter extends Writer {
  private final Consumer<String> lines;
  private final StringBuilder line = new StringBuilder();

  LineWriter(Consumer<String> lines) {
    this.lines = lines;
  }

  @Override
  public void write(char[] buffer, int offset, int length) {
    for (int at = offset; at < offset + length; at++) {
      char c = buffer[at];
      if (c == '\n') {
        emit();
      } else if (c != '\r') {
        line.append(c);
      }
    }
  }

  @Override
  public void flush() {}

  /** The last line, even without its line break. */
  @Override
  public void close() {
    if (line.length() > 0) {
      emit();
    }
  }

  private void emit() {
    lines.accept(line.toString());
    line.setLength(0);
  }
}
