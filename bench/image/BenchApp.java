import java.io.ByteArrayInputStream;
import java.io.StringWriter;
import java.nio.charset.StandardCharsets;
import java.time.LocalDate;
import java.time.format.DateTimeFormatter;
import java.util.logging.ConsoleHandler;
import java.util.logging.Level;
import java.util.logging.Logger;
import java.util.regex.Pattern;
import java.util.stream.Collectors;
import java.util.stream.IntStream;
import javax.xml.parsers.DocumentBuilderFactory;
import javax.xml.transform.TransformerFactory;
import javax.xml.transform.dom.DOMSource;
import javax.xml.transform.stream.StreamResult;

// A small program that touches several JDK modules, as an application's
// start does: parses and writes XML (java.xml), logs (java.logging), and
// uses dates, regular expressions and streams (java.base).
public class BenchApp {
    public static void main(String[] args) throws Exception {
        String xml = IntStream.range(0, 50).mapToObj(i -> "<item id=\"" + i + "\">value " + i + "</item>")
                .collect(Collectors.joining("", "<items>", "</items>"));
        var document = DocumentBuilderFactory.newInstance().newDocumentBuilder()
                .parse(new ByteArrayInputStream(xml.getBytes(StandardCharsets.UTF_8)));
        StringWriter written = new StringWriter();
        TransformerFactory.newInstance().newTransformer()
                .transform(new DOMSource(document), new StreamResult(written));
        Logger logger = Logger.getLogger("bench");
        logger.setUseParentHandlers(false);
        ConsoleHandler handler = new ConsoleHandler();
        handler.setLevel(Level.OFF);
        logger.addHandler(handler);
        logger.info("parsed " + document.getDocumentElement().getChildNodes().getLength() + " items");
        long matches = Pattern.compile("value (\\d+)").matcher(written.toString()).results().count();
        String date = LocalDate.of(2026, 12, 10).format(DateTimeFormatter.ISO_DATE);
        System.out.println("items=" + matches + " date=" + date);
    }
}
