package com.ferrolan.runtime.update;

/** What {@link Updates#check()} found: a newer version on offer, or why there is none. */
public final class CheckResult {
    private final long version;
    private final NoUpdateReason reason;
    private final String detail;

    private CheckResult(long version, NoUpdateReason reason, String detail) {
        this.version = version;
        this.reason = reason;
        this.detail = detail;
    }

    static CheckResult available(long version) {
        return new CheckResult(version, null, "");
    }

    static CheckResult none(NoUpdateReason reason, String detail) {
        return new CheckResult(-1, reason, detail);
    }

    /** Whether a version newer than the running one is offered to this machine. */
    public boolean isAvailable() {
        return reason == null;
    }

    /** The version offered; -1 when none is. */
    public long version() {
        return version;
    }

    /** Why no version is offered; null when one is. */
    public NoUpdateReason reason() {
        return reason;
    }

    /**
     * More about the reason, for a log: why the launcher failed ({@link
     * NoUpdateReason#LAUNCHER_FAILED}), or the launcher's own word ({@link NoUpdateReason#OTHER});
     * empty otherwise.
     */
    public String detail() {
        return detail;
    }

    /** "available 3", "none up-to-date", or "none launcher-failed (why)". */
    @Override
    public String toString() {
        if (reason == null) {
            return "available " + version;
        }
        return "none " + reason.word() + (detail.isEmpty() ? "" : " (" + detail + ")");
    }
}
