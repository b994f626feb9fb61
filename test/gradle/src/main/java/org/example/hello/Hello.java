package org.example.hello;

import org.apache.commons.cli.DefaultParser;
import org.apache.commons.cli.Options;

public final class Hello {
    public static void main(String[] args) throws Exception {
        Options options = new Options().addOption("g", "greeting", true, "the greeting");
        String greeting = new DefaultParser().parse(options, args).getOptionValue("greeting", "Hello");
        System.out.println(greeting + " from " + System.getProperty("vantorix.app-path") + " on Java "
                + Runtime.version().feature());
    }
}
