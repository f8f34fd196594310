package com.ferrolan.runtime.update;

/** What {@link Updates#download} did. */
public final class DownloadResult {
    /** How a download ended. */
    public enum Outcome {
        /** A newer version is installed; the next start runs it ({@link Updates#restart()}). */
        READY,
        /** Nothing was installed, for a {@link NoUpdateReason}. */
        NONE,
        /** The launcher tried and failed; {@link DownloadResult#detail()} says why. */
        FAILED
    }

    private final Outcome outcome;
    private final long version;
    private final NoUpdateReason reason;
    private final String text;

    private DownloadResult(Outcome outcome, long version, NoUpdateReason reason, String text) {
        this.outcome = outcome;
        this.version = version;
        this.reason = reason;
        this.text = text;
    }

    static DownloadResult ready(long version) {
        return new DownloadResult(Outcome.READY, version, null, "");
    }

    static DownloadResult none(NoUpdateReason reason, String detail) {
        return new DownloadResult(Outcome.NONE, -1, reason, detail);
    }

    static DownloadResult failed(String text) {
        return new DownloadResult(Outcome.FAILED, -1, null, text);
    }

    /** How the download ended. */
    public Outcome outcome() {
        return outcome;
    }

    /** Whether a newer version is installed and waits for the next start. */
    public boolean isReady() {
        return outcome == Outcome.READY;
    }

    /** The installed version when the outcome is READY; -1 otherwise. */
    public long version() {
        return version;
    }

    /** Why nothing was installed when the outcome is NONE; null otherwise. */
    public NoUpdateReason reason() {
        return reason;
    }

    /**
     * The launcher's text when the outcome is FAILED; for NONE, more about the reason, as
     * {@link CheckResult#detail()} gives it; empty for READY.
     */
    public String detail() {
        return text;
    }

    /** "ready 3", "none offline", "none launcher-failed (why)" or "failed why". */
    @Override
    public String toString() {
        switch (outcome) {
            case READY:
                return "ready " + version;
            case NONE:
                return "none " + reason.word() + (text.isEmpty() ? "" : " (" + text + ")");
            default:
                return "failed " + text;
        }
    }
}
