package org.example.orbit;

import java.util.List;
import java.util.logging.Logger;

/** Prints a small table of the planets from the bundled catalogue. */
public final class Main {
    private static final Logger LOG = Logger.getLogger(Main.class.getName());

    private Main() {}

    public static void main(String[] args) throws Exception {
        Logging.toStandardOutput();
        LOG.info("Orbit starting on Java " + Runtime.version().feature()
                + " with " + ModuleLayer.boot().modules().size() + " modules");

        List<Planet> planets = Catalog.load();
        String only = args.length > 0 ? args[0] : null;
        System.out.print(Report.table(planets, only));

        String image = System.getProperty("vantorix.app-path");
        LOG.info("started as " + (image != null ? image : "a plain java command"));
        System.exit(planets.isEmpty() ? 1 : 0);
    }
}
