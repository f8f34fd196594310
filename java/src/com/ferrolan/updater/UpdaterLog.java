package com.ferrolan.updater;

import java.io.IOException;
import java.io.PrintWriter;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.LocalDateTime;
import java.time.format.DateTimeFormatter;

/**
 * The updater's log: "logs/Updater-<date>-<time>-<pid>.log" in the master folder, next to the
 * launcher's "Wrapper-" logs. Lines go to the console too only when the environment variable
 * FERROLAN_LOG_ECHO is "1", as the launcher's do on POSIX; a log that cannot be written falls
 * back to the standard error stream, so an error is never lost.
 */
final class UpdaterLog implements AutoCloseable {
    private static final DateTimeFormatter NAME =
            DateTimeFormatter.ofPattern("yyyy-MM-dd-HH-mm-ss");
    private static final DateTimeFormatter LINE = DateTimeFormatter.ofPattern("HH:mm:ss.SSS");

    private final Path path;
    private final PrintWriter file;
    private final boolean echo;

    private UpdaterLog(Path path, PrintWriter file, boolean echo) {
        this.path = path;
        this.file = file;
        this.echo = echo;
    }

    static UpdaterLog open(Path masterFolder) {
        boolean echo = "1".equals(System.getenv("FERROLAN_LOG_ECHO"));
        Path path = masterFolder.resolve("logs").resolve("Updater-"
                + LocalDateTime.now().format(NAME) + "-" + ProcessHandle.current().pid() + ".log");
        try {
            Files.createDirectories(path.getParent());
            return new UpdaterLog(path,
                    new PrintWriter(Files.newBufferedWriter(path, StandardCharsets.UTF_8), true),
                    echo);
        } catch (IOException unwritable) {
            System.err.println("[Updater] Cannot write the log " + path + ": " + unwritable);
            return new UpdaterLog(null, null, echo);
        }
    }

    /** The log file, or null when it could not be written. */
    Path path() {
        return path;
    }

    void info(String message) {
        write("[Updater] " + message, false);
    }

    void error(String message) {
        write("[Updater] ERROR: " + message, true);
    }

    private synchronized void write(String line, boolean error) {
        if (file != null) {
            file.println(LocalDateTime.now().format(LINE) + " " + line);
        }
        if (echo || (error && file == null)) {
            (error ? System.err : System.out).println(line);
        }
    }

    @Override
    public synchronized void close() {
        if (file != null) {
            file.close();
        }
    }
}
