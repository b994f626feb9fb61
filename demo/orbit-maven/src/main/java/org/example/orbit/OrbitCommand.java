package org.example.orbit;

import org.apache.commons.cli.CommandLine;
import org.apache.commons.cli.DefaultParser;
import org.apache.commons.cli.HelpFormatter;
import org.apache.commons.cli.Options;
import org.apache.commons.cli.ParseException;

/** The Maven build's entry point: Orbit's table, with its options parsed by commons-cli. */
public final class OrbitCommand {
    private OrbitCommand() {}

    public static void main(String[] args) throws Exception {
        Options options = new Options()
                .addOption("p", "planet", true, "show only this planet")
                .addOption("h", "help", false, "print this text");
        CommandLine line;
        try {
            line = new DefaultParser().parse(options, args);
        } catch (ParseException e) {
            System.err.println("orbit: " + e.getMessage());
            System.exit(2);
            return;
        }
        if (line.hasOption("help")) {
            new HelpFormatter().printHelp("orbit", options);
            return;
        }
        Main.main(line.hasOption("planet") ? new String[] {line.getOptionValue("planet")} : new String[0]);
    }
}
