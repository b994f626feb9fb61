package org.example.hello;

public final class Hello {
    public static void main(String[] args) {
        System.out.println("Hello from " + System.getProperty("vantorix.app-path") + " on Java "
                + Runtime.version().feature() + ", arguments " + String.join(" ", args));
    }
}
