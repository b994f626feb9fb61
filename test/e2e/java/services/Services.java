import java.nio.charset.Charset;
import java.nio.file.FileSystem;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.KeyPair;
import java.security.KeyPairGenerator;
import java.security.Signature;
import java.security.spec.ECGenParameterSpec;
import java.text.NumberFormat;
import java.time.LocalDate;
import java.time.format.DateTimeFormatter;
import java.time.format.FormatStyle;
import java.util.HexFormat;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.TimeZone;
import java.util.concurrent.Callable;

/**
 * What a program may look up at run time rather than through classes that an analysis of its
 * own classes sees: one line per case, the same on every run of the same runtime.
 */
public class Services {
  static final List<Locale> LOCALES = List.of(Locale.GERMANY, Locale.FRANCE, Locale.JAPAN);

  public static void main(String[] args) {
    line("ec", () -> {
      KeyPairGenerator generator = KeyPairGenerator.getInstance("EC");
      generator.initialize(new ECGenParameterSpec("secp256r1"));
      KeyPair pair = generator.generateKeyPair();
      Signature signer = Signature.getInstance("SHA256withECDSA");
      signer.initSign(pair.getPrivate());
      signer.update("orbit".getBytes("UTF-8"));
      byte[] signature = signer.sign();
      Signature verifier = Signature.getInstance("SHA256withECDSA");
      verifier.initVerify(pair.getPublic());
      verifier.update("orbit".getBytes("UTF-8"));
      return pair.getPublic().getFormat() + " verified=" + verifier.verify(signature)
          + " provider=" + generator.getProvider().getName();
    });
    line("numbers", () -> {
      StringBuilder text = new StringBuilder();
      for (Locale locale : LOCALES) {
        text.append(locale).append('=').append(NumberFormat.getInstance(locale).format(1234567.891))
            .append(' ');
      }
      return text.toString().strip();
    });
    line("dates", () -> {
      StringBuilder text = new StringBuilder();
      for (Locale locale : LOCALES) {
        text.append(locale).append('=')
            .append(DateTimeFormatter.ofLocalizedDate(FormatStyle.FULL).withLocale(locale)
                .format(LocalDate.of(2026, 12, 11)))
            .append(" | ");
      }
      return text.toString();
    });
    line("charset", () -> {
      StringBuilder text = new StringBuilder();
      for (String name : List.of("Big5", "EUC-JP", "IBM1047", "x-IBM930")) {
        text.append(name).append('=')
            .append(HexFormat.of().formatHex("Grüße 東京".getBytes(Charset.forName(name))))
            .append(' ');
      }
      return text.toString().strip();
    });
    line("zipfs", () -> {
      Path zip = Files.createTempDirectory("services-").resolve("probe.zip");
      try (FileSystem fs = FileSystems.newFileSystem(zip, Map.of("create", "true"))) {
        Files.writeString(fs.getPath("/inside.txt"), "written inside");
      }
      try (FileSystem fs = FileSystems.newFileSystem(zip)) {
        return Files.readString(fs.getPath("/inside.txt")) + " via "
            + fs.provider().getScheme();
      } finally {
        Files.delete(zip);
        Files.delete(zip.getParent());
      }
    });
    line("by-name", () -> Class.forName("sun.misc.Unsafe").getName());
    line("time-zones", () -> {
      StringBuilder text = new StringBuilder();
      for (Locale locale : LOCALES) {
        text.append(locale).append('=')
            .append(TimeZone.getTimeZone("Europe/Paris").getDisplayName(false, TimeZone.LONG, locale))
            .append(" | ");
      }
      return text.toString();
    });
  }

  static void line(String name, Callable<String> test) {
    String result;
    try {
      result = test.call();
    } catch (Throwable e) {
      result = "failed: " + e;
    }
    System.out.println(name + ": " + result);
  }
}
