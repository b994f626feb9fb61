import java.io.File;
import java.util.ArrayList;
import java.util.List;

/**
 * A main class as distributions ship it: its jar's manifest names jars elsewhere on the system.
 * Prints the class path's file names and whether a class of such a jar was found.
 */
public class Dist {
  public static void main(String[] args) {
    List<String> names = new ArrayList<>();
    for (String entry : System.getProperty("java.class.path").split(File.pathSeparator)) {
      names.add(new File(entry).getName());
    }
    System.out.println("class-path=" + String.join(" ", names));
    boolean found;
    try {
      Class.forName("org.shared.Helper");
      found = true;
    } catch (ClassNotFoundException e) {
      found = false;
    }
    System.out.println("shared-helper=" + found);
  }
}
