package org.shared;

/** A class of a jar that the system has, outside the application. */
public class Helper {}
