import java.nio.charset.StandardCharsets;
import java.util.HexFormat;
import java.util.List;
import org.vantorix.instances.Instances;

/** Prints its own arguments, then those of every start forwarded to it (texts in UTF-8 hex). */
public class SingleInstanceApp {
  public static void main(String[] args) throws InterruptedException {
    print("args=" + hex(List.of(args)));
    boolean listening =
        Instances.onForward(
            forwarded ->
                print("forward cwd=" + hex(List.of(forwarded.workingDirectory().toString()))
                    + " args=" + hex(forwarded.arguments())),
            () -> print("front"));
    print("listening=" + listening);
    Thread.sleep(120_000);
  }

  private static String hex(List<String> texts) {
    StringBuilder out = new StringBuilder();
    for (String text : texts) {
      out.append(out.length() == 0 ? "" : ",")
          .append(HexFormat.of().formatHex(text.getBytes(StandardCharsets.UTF_8)));
    }
    return out.toString();
  }

  private static synchronized void print(String line) {
    System.out.println(line);
    System.out.flush();
  }
}
