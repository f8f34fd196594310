package com.ferrolan.updater.log;

import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.PrintWriter;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.TimeZone;

/**
 * The updater's log: "logs/Updater-<date>-<time>-<pid>.log" in the master folder, next to the
 * launcher's "Wrapper-" logs. Lines go to the console too only when the environment variable
 * FERROLAN_LOG_ECHO is "1", as the launcher's do on POSIX; a log that cannot be written falls
 * back to the standard error stream, so an error is never lost.
 *
 * <p>Naming and opening the file takes milliseconds in a fresh virtual machine (the time zone,
 * the process handle), which would delay every start of the application. So the lines are kept
 * with their times until {@link #startWriting()}, called once the application is on its way
 * (from the thread of the chores after a start), opens the file and writes them.
 * {@link #path()} and {@link #close()} start it too, and wait for it.
 */
public final class UpdaterLog implements AutoCloseable {
    /** How long close() waits for the file to open. */
    private static final long OPEN_WAIT_MS = 5000;

    /** A line written before the file was open. */
    private static final class Pending {
        final long millis;
        final String text;
        final boolean error;

        Pending(long millis, String text, boolean error) {
            this.millis = millis;
            this.text = text;
            this.error = error;
        }
    }

    private final boolean echo;
    private final Path folder;
    private final long startedAt;
    private final List<Pending> pending = new ArrayList<>();
    private LocalClock clock;
    private Path path;
    private PrintWriter file;
    private boolean started;
    private boolean opened;
    private boolean closed;

    private UpdaterLog(Path masterFolder, boolean echo) {
        this.echo = echo;
        this.folder = masterFolder.resolve("logs");
        this.startedAt = System.currentTimeMillis();
    }

    public static UpdaterLog open(Path masterFolder) {
        return new UpdaterLog(masterFolder, "1".equals(System.getenv("FERROLAN_LOG_ECHO")));
    }

    /**
     * Opens the file and writes what is pending; once is enough. The first caller opens it,
     * while the others go on keeping their lines (or wait for it, in path and close).
     */
    public void startWriting() {
        synchronized (this) {
            if (started) {
                return;
            }
            started = true;
        }
        openFile(folder, startedAt);
    }

    private void openFile(Path folder, long started) {
        LocalClock localClock = new LocalClock(TimeZone.getDefault());
        Path name = folder.resolve("Updater-" + localClock.fileStamp(started) + "-"
                + ProcessHandle.current().pid() + ".log");
        PrintWriter writer = null;
        try {
            // java.io rather than Files: no file-channel machinery to load for one log file.
            folder.toFile().mkdirs();
            writer = new PrintWriter(new OutputStreamWriter(new FileOutputStream(name.toFile()),
                    StandardCharsets.UTF_8), true);
        } catch (IOException unwritable) {
            System.err.println("[Updater] Cannot write the log " + name + ": " + unwritable);
        }
        synchronized (this) {
            clock = localClock;
            file = writer;
            path = writer == null ? null : name;
            opened = true;
            for (Pending line : pending) {
                store(line.millis, line.text, line.error);
            }
            pending.clear();
            if (closed && file != null) {
                file.close();
            }
            notifyAll();
        }
    }

    /** The log file, or null when it could not be written. */
    public synchronized Path path() {
        awaitOpened();
        return path;
    }

    public void info(String message) {
        write("[Updater] " + message, false);
    }

    public void error(String message) {
        write("[Updater] ERROR: " + message, true);
    }

    private synchronized void write(String line, boolean error) {
        if (echo) {
            (error ? System.err : System.out).println(line);
        }
        if (opened) {
            store(System.currentTimeMillis(), line, error);
        } else {
            pending.add(new Pending(System.currentTimeMillis(), line, error));
        }
    }

    /** Writes one line once the file is open; holds the lock. */
    private void store(long millis, String line, boolean error) {
        if (file != null) {
            file.println(clock.lineTime(millis) + " " + line);
        } else if (error && !echo) {
            System.err.println(line);
        }
    }

    private void awaitOpened() {
        startWriting();
        long deadline = System.currentTimeMillis() + OPEN_WAIT_MS;
        boolean interrupted = false;
        while (!opened) {
            long left = deadline - System.currentTimeMillis();
            if (left <= 0) {
                break;
            }
            try {
                wait(left);
            } catch (InterruptedException stop) {
                interrupted = true;
            }
        }
        if (interrupted) {
            Thread.currentThread().interrupt();
        }
    }

    /** Writes what is pending and closes the file; safe to call more than once. */
    @Override
    public synchronized void close() {
        awaitOpened();
        closed = true;
        if (file != null) {
            file.close();
        }
    }
}
