import java.io.PrintWriter;
import java.nio.file.Path;
import java.util.HashMap;
import java.util.LinkedHashSet;
import java.util.Map;
import java.util.Set;
import org.vantorix.image.Refusal;
import org.vantorix.image.installer.InstallScope;
import org.vantorix.image.installer.InstallerKind;
import org.vantorix.image.installer.InstallerRequest;
import org.vantorix.image.installer.Installers;

/** Makes an installer from an image that is already there, with the image tool's options. */
public final class InstallerEntry {
  public static void main(String[] args) {
    Map<String, String> values = new HashMap<>();
    Set<String> modules = new LinkedHashSet<>();
    boolean desktop = false;
    for (int i = 0; i < args.length; i++) {
      if (args[i].equals("--desktop-shortcut")) {
        desktop = true;
      } else if (args[i].equals("--module")) {
        modules.add(args[++i]);
      } else {
        values.put(args[i].substring(2), args[++i]);
      }
    }
    PrintWriter out = new PrintWriter(System.out, true);
    try {
      Path image = Path.of(values.get("image"));
      InstallerRequest request = new InstallerRequest(
          InstallerKind.parse(values.get("installer")), image, values.get("name"),
          values.get("version"), values.get("vendor"), values.get("description"),
          values.containsKey("icon") ? Path.of(values.get("icon")) : null, values.get("app-id"),
          values.containsKey("install-scope") ? InstallScope.parse(values.get("install-scope")) : null,
          desktop, values.get("vendor-email"),
          values.containsKey("makensis") ? Path.of(values.get("makensis")) : null,
          values.get("sign-command"), values.get("target"), modules,
          Path.of(values.getOrDefault("installer-dir",
              image.toAbsolutePath().getParent().toString())));
      Installers.make(Installers.plan(request), out);
    } catch (Refusal refusal) {
      System.err.println("vantorix-image: " + refusal.getMessage());
      System.exit(1);
    }
  }
}
