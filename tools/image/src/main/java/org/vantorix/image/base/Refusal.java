package org.vantorix.image.base;

import java.io.IOException;
import java.nio.file.FileSystemException;
import java.nio.file.NoSuchFileException;

/**
 * Something the tool will not do. Its message is the one line shown after "vantorix-image: ", and
 * the tool then ends with exit code 1 having written nothing.
 */
public final class Refusal extends RuntimeException {
  private static final long serialVersionUID = 1L;

  public Refusal(String message) {
    super(message, null, false, false);
  }

  /** A refusal that formats its message like {@link String#format}. */
  public static Refusal of(String format, Object... args) {
    return new Refusal(String.format(format, args));
  }

  /** The text on one line: its line breaks, and the blanks around them, become "; ". */
  public static String oneLine(String text) {
    return text.strip().replaceAll("\\s*[\\r\\n]+\\s*", "; ");
  }

  /** The reason of a file error, without the path that the message names already. */
  public static String reason(IOException e) {
    if (e instanceof NoSuchFileException) {
      return "no such file or directory";
    }
    if (e instanceof FileSystemException f && f.getReason() != null) {
      return f.getReason();
    }
    return e.getMessage() == null ? e.getClass().getSimpleName() : e.getMessage();
  }
}
