package com.ferrolan.runtime.update;

import com.ferrolan.runtime.files.NativeText;
import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;

/**
 * One run of the launcher with a command as its last argument ("FLUPDATE_CHECK",
 * "FLUPDATE_DOWNLOAD"), and the lines of its answer. The launcher answers on standard output
 * with lines "FLUPDATE &lt;word&gt; [&lt;argument&gt;]"; other lines (its log, when it echoes
 * it there) may come before them and are skipped. Its standard error is discarded, and its
 * standard input is closed at once.
 *
 * <p>A thread of its own reads the output, so that the caller waits on a queue, which an
 * interrupt ends: the launcher is then ended too. Reading a process's pipe cannot be
 * interrupted in Java.
 */
final class LauncherCommand {
    /** What every line of an answer starts with. */
    static final String PREFIX = "FLUPDATE ";
    /** After the final line, how long the launcher may take to end before it is ended. */
    private static final long AFTER_ANSWER_MS = 5000;
    /**
     * After the launcher has ended, how long to wait for the rest of its output: a process it
     * started may hold the pipe open, and its end of file would never come.
     */
    private static final long AFTER_EXIT_MS = 1000;
    private static final long POLL_MS = 200;
    /** How long an ended launcher's last words may take to arrive once it was told to end. */
    private static final long DESTROY_WAIT_MS = 2000;

    /** The lines of an answer, one at a time, until one of them is the final one. */
    interface Reader<T> {
        /**
         * The line "FLUPDATE `word` `argument`" (`argument` is empty when the line has none).
         * Returns the answer when this line is the final one, else null.
         */
        T line(String word, String argument);
    }

    /** Why the launcher gave no answer. */
    static final class Failure extends Exception {
        private static final long serialVersionUID = 1L;

        Failure(String message) {
            super(message);
        }
    }

    private LauncherCommand() {
    }

    /**
     * Runs `launcher` with `command` as its only argument and returns what `reader` made of the
     * final line. Throws Failure when the launcher cannot be started or ends without a final
     * line, InterruptedException (after ending the launcher) when the thread is interrupted
     * before the answer has come.
     */
    static <T> T run(Path launcher, String command, Reader<T> reader)
            throws Failure, InterruptedException {
        List<String> arguments = new ArrayList<>();
        arguments.add(launcher.toString());
        arguments.add(command);
        NativeText.prepareProcessLaunch();
        for (int i = 0; i < arguments.size(); i++) {
            arguments.set(i, NativeText.forProcessArgument(arguments.get(i)));
        }
        Process process;
        try {
            process = new ProcessBuilder(arguments)
                    .redirectError(ProcessBuilder.Redirect.DISCARD)
                    .start();
        } catch (IOException cannotStart) {
            throw new Failure("cannot run " + launcher + ": " + cannotStart.getMessage());
        }
        try {
            process.getOutputStream().close();
            return answer(process, reader);
        } catch (IOException closing) {
            throw new Failure("cannot talk to " + launcher + ": " + closing.getMessage());
        } finally {
            end(process);
        }
    }

    private static <T> T answer(Process process, Reader<T> reader)
            throws Failure, InterruptedException {
        OutputPump pump = new OutputPump(process.getInputStream());
        pump.start();
        long exitedAt = -1;
        while (true) {
            String line = pump.lines.poll(POLL_MS, TimeUnit.MILLISECONDS);
            if (line == OutputPump.END) {
                break;
            }
            if (line != null) {
                T answer = line.startsWith(PREFIX) ? read(line, reader) : null;
                if (answer != null) {
                    awaitEnd(process);
                    return answer;
                }
                continue;
            }
            long now = System.nanoTime();
            if (exitedAt < 0 && !process.isAlive()) {
                exitedAt = now;
            } else if (exitedAt >= 0 && now - exitedAt > AFTER_EXIT_MS * 1_000_000L) {
                break;
            }
        }
        int code = process.waitFor();
        throw new Failure(code == 0 ? "the launcher ended without an answer"
                : "the launcher ended with exit code " + code + " without an answer");
    }

    /** A line after the prefix: its word, then everything after the first blank. */
    private static <T> T read(String line, Reader<T> reader) {
        String rest = line.substring(PREFIX.length());
        int blank = rest.indexOf(' ');
        return blank < 0 ? reader.line(rest, "")
                : reader.line(rest.substring(0, blank), rest.substring(blank + 1).trim());
    }

    /**
     * Gives the launcher time to end after its answer. An interrupt now keeps the answer, which
     * is already true (a download is installed), and stays set for the caller.
     */
    private static void awaitEnd(Process process) {
        try {
            process.waitFor(AFTER_ANSWER_MS, TimeUnit.MILLISECONDS);
        } catch (InterruptedException late) {
            Thread.currentThread().interrupt();
        }
    }

    /** Ends the launcher when it still runs: politely first, then by force. */
    private static void end(Process process) {
        if (!process.isAlive()) {
            return;
        }
        process.destroy();
        boolean interrupted = false;
        try {
            if (!process.waitFor(DESTROY_WAIT_MS, TimeUnit.MILLISECONDS)) {
                process.destroyForcibly();
            }
        } catch (InterruptedException again) {
            process.destroyForcibly();
            interrupted = true;
        }
        if (interrupted) {
            Thread.currentThread().interrupt();
        }
    }

    /** Reads the launcher's output into a queue until its end of file. */
    private static final class OutputPump extends Thread {
        /** Queued after the last line; compared by identity. */
        static final String END = new String("end of output");

        final BlockingQueue<String> lines = new LinkedBlockingQueue<>();
        private final InputStream output;

        OutputPump(InputStream output) {
            super("ferrolan-launcher-output");
            setDaemon(true);
            this.output = output;
        }

        @Override
        public void run() {
            // The launcher writes the system's 8-bit text; readLine takes CR LF and LF alike.
            try (BufferedReader in = new BufferedReader(
                    new InputStreamReader(output, NativeText.charset()))) {
                for (String line = in.readLine(); line != null; line = in.readLine()) {
                    lines.add(line);
                }
            } catch (IOException closed) {
                // The launcher was ended, or its pipe broke: what came is all there is.
            } finally {
                lines.add(END);
            }
        }
    }
}
