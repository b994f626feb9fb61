package org.demo.report;

import java.util.logging.Logger;

// A named module that needs java.logging itself and java.xml through the
// automatic module report.lib, which declares nothing.
public class Main {
    public static void main(String[] args) throws Exception {
        System.out.println("module=" + Main.class.getModule().getName()
                + " xml=" + org.report.lib.Xml.text("<greeting>hello</greeting>")
                + " logger=" + Logger.getLogger("report").getName());
    }
}
