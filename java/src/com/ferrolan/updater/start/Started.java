package com.ferrolan.updater.start;

/** How a start ended: with an exit code, or with the application still running here. */
public final class Started {
    /** The application's exit code, once it has ended. */
    public final int exitCode;
    /** The application's main has returned and it runs on in this virtual machine. */
    public final boolean stillRunning;

    private Started(int exitCode, boolean stillRunning) {
        this.exitCode = exitCode;
        this.stillRunning = stillRunning;
    }

    static Started ended(int exitCode) {
        return new Started(exitCode, false);
    }

    static Started running() {
        return new Started(0, true);
    }
}
