package org.vantorix.image;

/** Stands in for the image tool's refusal while the installer code is tested on its own. */
public class Refusal extends RuntimeException {
  public Refusal(String message) {
    super(message);
  }
}
