module demo.report {
    requires java.logging;
    requires report.lib;
}
