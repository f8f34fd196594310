package com.ferrolan.runtime.update;

/** Told how far a {@link Updates#download download} has come. */
@FunctionalInterface
public interface ProgressListener {
    /**
     * The download has reached `percent` (0 to 100). Called on the thread that called
     * {@link Updates#download}, as the launcher reports progress; a call may repeat or skip
     * values.
     */
    void progress(int percent);
}
