package com.ferrolan.runtime.update;

/** Why no update is offered or was installed. */
public enum NoUpdateReason {
    /** The running version is the newest one offered. */
    UP_TO_DATE("up-to-date"),
    /** The update server could not be reached. */
    OFFLINE("offline"),
    /**
     * The update folder's signed metadata has expired: the vendor stopped refreshing it, or
     * someone serves old metadata again.
     */
    EXPIRED("expired"),
    /** A staged roll-out does not include this machine yet. */
    NOT_ROLLED_OUT("not-rolled-out"),
    /**
     * The update folder's metadata was refused: forged, of another application, or older than
     * metadata this machine has already seen.
     */
    REFUSED("refused"),
    /** This build of the application has no update folder. */
    NO_UPDATE_FOLDER("no-update-folder"),
    /**
     * The launcher gave a reason that this version of the API does not know; {@code detail()}
     * of the result holds its word.
     */
    OTHER("other"),
    /**
     * The launcher could not be run, or ended without an answer; {@code detail()} of the result
     * says why.
     */
    LAUNCHER_FAILED("launcher-failed");

    private final String word;

    NoUpdateReason(String word) {
        this.word = word;
    }

    /** The reason as the launcher writes it, such as "up-to-date". */
    public String word() {
        return word;
    }

    /** The reason the launcher's word names; OTHER for a word this API does not know. */
    static NoUpdateReason of(String word) {
        for (NoUpdateReason reason : values()) {
            if (reason.word.equals(word) && reason != OTHER && reason != LAUNCHER_FAILED) {
                return reason;
            }
        }
        return OTHER;
    }
}
