import java.io.ByteArrayInputStream;
import java.nio.charset.StandardCharsets;
import java.util.logging.Logger;
import javax.xml.parsers.DocumentBuilderFactory;

// Needs two JDK modules besides java.base, java.xml and java.logging, and
// reports like Probe, whose hex form it borrows: "key=value" lines.
public class Report {
    public static void main(String[] args) throws Exception {
        String xml = "<greeting>hello</greeting>";
        String text = DocumentBuilderFactory.newInstance().newDocumentBuilder()
                .parse(new ByteArrayInputStream(xml.getBytes(StandardCharsets.UTF_8)))
                .getDocumentElement().getTextContent();
        System.out.println("main=Report");
        System.out.println("xml=" + text);
        System.out.println("logger=" + Logger.getLogger("report").getName());
        for (String arg : args) {
            System.out.println("arg=" + Probe.hex(arg));
        }
        System.out.println("app-path=" + Probe.hex(System.getProperty("vantorix.app-path")));
        System.out.println("value=" + Probe.hex(System.getProperty("probe.value")));
    }
}
