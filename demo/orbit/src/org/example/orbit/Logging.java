package org.example.orbit;

import java.util.logging.ConsoleHandler;
import java.util.logging.Formatter;
import java.util.logging.Handler;
import java.util.logging.LogRecord;
import java.util.logging.Logger;
import java.util.logging.StreamHandler;

/** One short line per log record, on standard output beside the table. */
final class Logging {
    private Logging() {}

    static void toStandardOutput() {
        Logger root = Logger.getLogger("");
        for (Handler h : root.getHandlers()) {
            if (h instanceof ConsoleHandler) {
                root.removeHandler(h);
            }
        }
        StreamHandler out = new StreamHandler(System.out, new Formatter() {
            @Override
            public String format(LogRecord r) {
                return "[" + r.getLevel() + "] " + r.getMessage() + System.lineSeparator();
            }
        }) {
            @Override
            public synchronized void publish(LogRecord record) {
                super.publish(record);
                flush();
            }
        };
        root.addHandler(out);
    }
}
