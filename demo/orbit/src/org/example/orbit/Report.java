package org.example.orbit;

import java.util.List;
import java.util.Locale;

/** The table the application prints. */
final class Report {
    private Report() {}

    static String table(List<Planet> planets, String only) {
        StringBuilder out = new StringBuilder();
        out.append(String.format(Locale.ROOT, "%-8s %8s %12s %14s%n",
                "planet", "AU", "year (days)", "Kepler (years)"));
        for (Planet p : planets) {
            if (only != null && !p.name().equalsIgnoreCase(only)) {
                continue;
            }
            out.append(String.format(Locale.ROOT, "%-8s %8.2f %12.1f %14.2f%n",
                    p.name(), p.distanceAu(), p.periodDays(), p.keplerYears()));
        }
        return out.toString();
    }
}
