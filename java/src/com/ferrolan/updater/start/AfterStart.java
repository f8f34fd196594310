package com.ferrolan.updater.start;

/**
 * The chores that wait until the application is on its way. Both ways of starting it run them
 * once, when the application has run for {@link #GRACE_MS} or has ended sooner.
 */
public abstract class AfterStart {
    /** A start counts as successful when the application is still running after this time. */
    public static final long GRACE_MS = 2000;

    /** Runs the chores; `started` tells whether the application got going. */
    public abstract void run(boolean started);
}
