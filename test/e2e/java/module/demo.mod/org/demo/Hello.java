package org.demo;

// The main class of the module test: names its module and arguments.
public class Hello {
    public static void main(String[] args) {
        System.out.println("module=" + Hello.class.getModule().getName() + " args=" + String.join(",", args));
    }
}
