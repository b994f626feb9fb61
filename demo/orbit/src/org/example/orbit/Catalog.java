package org.example.orbit;

import java.io.IOException;
import java.io.InputStream;
import java.util.ArrayList;
import java.util.List;
import javax.xml.parsers.DocumentBuilderFactory;
import org.w3c.dom.Element;
import org.w3c.dom.NodeList;

/** Reads planets.xml, a resource of this jar, with the JDK's XML parser. */
final class Catalog {
    private Catalog() {}

    static List<Planet> load() throws Exception {
        try (InputStream in = Catalog.class.getResourceAsStream("planets.xml")) {
            if (in == null) {
                throw new IOException("planets.xml is missing from the application");
            }
            DocumentBuilderFactory factory = DocumentBuilderFactory.newInstance();
            factory.setFeature("http://apache.org/xml/features/disallow-doctype-decl", true);
            NodeList nodes = factory.newDocumentBuilder().parse(in).getElementsByTagName("planet");
            List<Planet> planets = new ArrayList<>();
            for (int i = 0; i < nodes.getLength(); i++) {
                Element e = (Element) nodes.item(i);
                planets.add(new Planet(e.getAttribute("name"),
                        Double.parseDouble(e.getAttribute("au")),
                        Double.parseDouble(e.getAttribute("days"))));
            }
            return planets;
        }
    }
}
