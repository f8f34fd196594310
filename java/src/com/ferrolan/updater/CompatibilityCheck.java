package com.ferrolan.updater;

/**
 * The JRE compatibility test: the launcher runs this class on a candidate system JRE and accepts
 * the JRE only when the process ends with exit code 72. Any other outcome, including a runtime
 * too old to load this class at all, rejects it.
 */
public final class CompatibilityCheck {
    /** The exit code that tells the launcher the JRE is usable. */
    public static final int COMPATIBLE = 72;

    private CompatibilityCheck() {
    }

    public static void main(String[] args) {
        System.out.println("[CompatibilityCheck] Java " + System.getProperty("java.version")
                + " at " + System.getProperty("java.home"));
        System.exit(COMPATIBLE);
    }
}
