package org.vantorix.instances;

import java.io.IOException;

/** A forward message that breaks the layout or the bounds; it is dropped. */
final class MalformedMessageException extends IOException {
  private static final long serialVersionUID = 1L;

  MalformedMessageException(String message) {
    super(message);
  }
}
