package com.ferrolan.updater.start;

/** Why the application could not be started; the message is for the user. */
public final class StartFailure extends Exception {
    private static final long serialVersionUID = 1L;

    public StartFailure(String message) {
        super(message);
    }
}
