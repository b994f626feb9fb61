package org.vantorix.instances;

import java.nio.file.Path;
import java.util.List;

/**
 * One later start of the application, forwarded to the running instance: the arguments it was
 * started with, exactly as given, and the directory it was started in (against which relative
 * file names among the arguments are to be resolved).
 */
public record Forwarded(List<String> arguments, Path workingDirectory) {
  public Forwarded {
    arguments = List.copyOf(arguments);
  }
}
