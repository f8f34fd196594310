package com.ferrolan.updater;

/** A class of the application named like the updater's main class: the application's wins. */
public final class Updater {
    public static final String WHOSE = "the application's own";

    private Updater() {
    }
}
