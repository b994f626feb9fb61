package org.vantorix.image;

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
  static Refusal of(String format, Object... args) {
    return new Refusal(String.format(format, args));
  }
}
