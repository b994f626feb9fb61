package org.example.orbit;

/** One body of the catalogue: its mean distance from the sun and its year. */
public record Planet(String name, double distanceAu, double periodDays) {
    /** Kepler's third law, in Earth years: the period from the distance. */
    public double keplerYears() {
        return Math.sqrt(distanceAu * distanceAu * distanceAu);
    }
}
