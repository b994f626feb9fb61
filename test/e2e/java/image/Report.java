import java.io.ByteArrayInputStream;
import java.nio.charset.StandardCharsets;
import java.util.logging.Logger;
import javax.xml.parsers.DocumentBuilderFactory;

// Needs two JDK modules besides java.base, java.xml and java.logging, and
// reports like Probe: "key=value" lines, texts as hex of their UTF-8 bytes.
public class Report {
    static String hex(String text) {
        if (text == null) {
            return "null";
        }
        StringBuilder out = new StringBuilder();
        for (byte b : text.getBytes(StandardCharsets.UTF_8)) {
            out.append(String.format("%02x", b & 0xff));
        }
        return out.toString();
    }

    public static void main(String[] args) throws Exception {
        String xml = "<greeting>hello</greeting>";
        String text = DocumentBuilderFactory.newInstance().newDocumentBuilder()
                .parse(new ByteArrayInputStream(xml.getBytes(StandardCharsets.UTF_8)))
                .getDocumentElement().getTextContent();
        System.out.println("main=Report");
        System.out.println("xml=" + text);
        System.out.println("logger=" + Logger.getLogger("report").getName());
        for (String arg : args) {
            System.out.println("arg=" + hex(arg));
        }
        System.out.println("app-path=" + hex(System.getProperty("vantorix.app-path")));
        System.out.println("value=" + hex(System.getProperty("probe.value")));
    }
}
