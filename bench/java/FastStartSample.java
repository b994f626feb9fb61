import java.io.ByteArrayInputStream;
import java.io.StringWriter;
import java.lang.management.ManagementFactory;
import java.net.URI;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.text.MessageFormat;
import java.text.NumberFormat;
import java.time.LocalDate;
import java.time.ZoneId;
import java.time.ZonedDateTime;
import java.time.format.DateTimeFormatter;
import java.util.Locale;
import java.util.Map;
import java.util.TreeMap;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.ConcurrentHashMap;
import java.util.logging.Logger;
import java.util.regex.Pattern;
import java.util.stream.Collectors;
import java.util.stream.IntStream;
import javax.xml.parsers.DocumentBuilderFactory;
import javax.xml.transform.TransformerFactory;
import javax.xml.transform.dom.DOMSource;
import javax.xml.transform.stream.StreamResult;
import org.w3c.dom.Document;
import org.w3c.dom.Element;

// What a desktop application's start typically touches: XML settings,
// logging, dates and numbers in the user's locale, regular expressions,
// streams, a thread pool, files and URIs. Prints how many classes the
// runtime loaded to get here, and when main was reached.
public class FastStartSample {
    public static void main(String[] args) throws Exception {
        long entered = System.currentTimeMillis();
        Logger log = Logger.getLogger("sample");
        log.setLevel(java.util.logging.Level.WARNING);
        log.info("not shown");

        String xml = "<settings><window width='800' height='600'/><recent>a.txt</recent></settings>";
        Document document = DocumentBuilderFactory.newInstance().newDocumentBuilder()
                .parse(new ByteArrayInputStream(xml.getBytes(StandardCharsets.UTF_8)));
        Element window = (Element) document.getElementsByTagName("window").item(0);
        window.setAttribute("x", "10");
        StringWriter written = new StringWriter();
        TransformerFactory.newInstance().newTransformer().transform(new DOMSource(document), new StreamResult(written));

        String today = ZonedDateTime.of(LocalDate.of(2024, 5, 17).atStartOfDay(), ZoneId.of("Europe/Berlin"))
                .format(DateTimeFormatter.ofPattern("EEEE, d MMMM uuuu", Locale.GERMANY));
        String amount = NumberFormat.getCurrencyInstance(Locale.US).format(1234.5);
        String message = MessageFormat.format("{0} files, {1}", 3, today);

        Pattern words = Pattern.compile("\\b(\\w+)@(\\w+)\\.com\\b");
        Map<String, Long> counts = IntStream.range(0, 200)
                .mapToObj(i -> "user" + (i % 7) + "@host.com")
                .filter(s -> words.matcher(s).matches())
                .collect(Collectors.groupingBy(s -> s, TreeMap::new, Collectors.counting()));

        ConcurrentHashMap<String, Integer> lengths = new ConcurrentHashMap<>();
        CompletableFuture.allOf(IntStream.range(0, 4)
                .mapToObj(i -> CompletableFuture.runAsync(() -> lengths.put("task" + i, i * i)))
                .toArray(CompletableFuture[]::new)).join();

        Path file = Files.createTempFile("sample", ".txt");
        Files.writeString(file, written.toString());
        String back = Files.readString(file);
        Files.delete(file);
        URI uri = URI.create("https://example.org/docs/index.html?q=1").resolve("../api");

        int checksum = (back.length() + amount.length() + message.length() + counts.size() + lengths.size()
                + uri.toString().length());
        System.out.println("checksum=" + checksum);
        System.out.println("classes=" + ManagementFactory.getClassLoadingMXBean().getTotalLoadedClassCount());
        // Time from the process's start (as the system counts it, in steps
        // of 10 ms) to main.
        long started = ProcessHandle.current().info().startInstant().map(i -> i.toEpochMilli()).orElse(entered);
        System.out.println("to-main-ms=" + (entered - started));
    }
}
