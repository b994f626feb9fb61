package org.vantorix.image;

import java.io.PrintWriter;
import java.net.URISyntaxException;
import java.nio.charset.Charset;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.spi.ToolProvider;
import org.vantorix.image.installer.InstallerPlan;
import org.vantorix.image.base.Refusal;

/**
 * vantorix-image: lays out a double-clickable application image from a jar, a main class or a
 * main module, with a Java runtime linked for it. Run with --help for the options.
 */
public final class ImageTool implements ToolProvider {
  @Override
  public String name() {
    return "vantorix-image";
  }

  @Override
  public int run(PrintWriter out, PrintWriter err, String... args) {
    try {
      Options options = Options.parse(args);
      if (options.help()) {
        out.print(Help.text());
        out.flush();
        return 0;
      }
      Plan plan = Planner.plan(options, toolDirectory(), out);
      InstallerPlan installer = InstallerStep.plan(options, plan);
      List<String> summary = ImageWriter.write(plan, installer, out);
      for (String note : plan.notes()) {
        err.println("vantorix-image: note: " + note);
      }
      summary.forEach(out::println);
      out.println("vantorix-image: wrote " + plan.output());
      if (installer != null) {
        out.println("vantorix-image: wrote " + installer.output());
      }
      return 0;
    } catch (Refusal refusal) {
      err.println("vantorix-image: " + refusal.getMessage());
      return 1;
    } catch (OutOfMemoryError | RuntimeException e) {
      // Whatever slipped past the checks is still one line, never a stack trace.
      String message = e.getMessage() == null ? e.getClass().getName() : e.getMessage();
      err.println("vantorix-image: " + Refusal.oneLine(message));
      return 1;
    } finally {
      out.flush();
      err.flush();
    }
  }

  /** The directory of the tool's jar: in a release archive it holds the launchers. */
  static Path toolDirectory() {
    try {
      Path location =
          Path.of(ImageTool.class.getProtectionDomain().getCodeSource().getLocation().toURI());
      return Files.isRegularFile(location) ? location.getParent() : location;
    } catch (URISyntaxException | RuntimeException e) {
      return null;
    }
  }

  public static void main(String[] args) {
    Charset charset = consoleCharset();
    PrintWriter out = new PrintWriter(new java.io.OutputStreamWriter(System.out, charset), true);
    PrintWriter err = new PrintWriter(new java.io.OutputStreamWriter(System.err, charset), true);
    System.exit(new ImageTool().run(out, err, args));
  }

  private static Charset consoleCharset() {
    String encoding = System.getProperty("sun.stdout.encoding");
    if (encoding == null) {
      encoding = System.getProperty("native.encoding");
    }
    try {
      return encoding == null ? Charset.defaultCharset() : Charset.forName(encoding);
    } catch (RuntimeException e) {
      return Charset.defaultCharset();
    }
  }
}
