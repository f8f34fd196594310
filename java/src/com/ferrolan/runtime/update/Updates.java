package com.ferrolan.runtime.update;

import com.ferrolan.runtime.files.InstalledFolders;
import com.ferrolan.runtime.files.LauncherArguments;
import com.ferrolan.runtime.files.NativeText;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;
import java.util.Properties;

/**
 * The updates of the running application, through the launcher that installed it.
 *
 * <pre>{@code
 * Updates updates = Updates.current();  // null when the launcher did not start the application
 * // On a thread of its own:
 * if (updates != null && updates.check().isAvailable()
 *         && updates.download(percent -> showProgress(percent)).isReady()) {
 *     // ask the user, let the application save its work, then:
 *     updates.restart();
 * }
 * }</pre>
 *
 * <p>{@link #check()} and {@link #download} run the launcher and wait for its answer, which
 * may take as long as the network does: call them from a thread of their own, never from the
 * event dispatch thread. Interrupting that thread ends the launcher and the call. An instance
 * holds no state besides the settings it was made from; its calls may run on any thread.
 *
 * <p>The launcher that answers is the one that started this run (the system property
 * "ferrolan.launcher"), or, when that file is gone, the copy installed in the master folder.
 */
public final class Updates {
    /** The command the launcher answers with whether a newer version is offered. */
    static final String CHECK = "FLUPDATE_CHECK";
    /** The command the launcher answers by installing the newer version. */
    static final String DOWNLOAD = "FLUPDATE_DOWNLOAD";

    private final String appName;
    private final long runningVersion;
    private final Path masterFolder;
    private final Path launcher;
    private final String arguments;
    private final boolean windows;

    private Updates(String appName, long runningVersion, Path masterFolder, Path launcher,
            String arguments, boolean windows) {
        this.appName = appName;
        this.runningVersion = runningVersion;
        this.masterFolder = masterFolder;
        this.launcher = launcher;
        this.arguments = arguments;
        this.windows = windows;
    }

    /**
     * The updates of this application; null when the launcher did not start it (the updater
     * sets the system properties "ferrolan.appName" and "ferrolan.masterFolder" for every
     * application it starts).
     */
    public static Updates current() {
        return from(System.getProperties());
    }

    /** The updates for the launcher's settings in `properties`; null without them. */
    static Updates from(Properties properties) {
        String appName = properties.getProperty("ferrolan.appName");
        String master = properties.getProperty("ferrolan.masterFolder");
        if (appName == null || appName.isEmpty() || master == null || master.isEmpty()) {
            return null;
        }
        long version = parseNumber(properties.getProperty("ferrolan.appVersion"));
        String appFolder = properties.getProperty("ferrolan.appFolder");
        if (version < 0 && appFolder != null && !appFolder.isEmpty()) {
            version = InstalledFolders.version(Paths.get(appFolder));
        }
        String launcher = properties.getProperty("ferrolan.launcher");
        String os = properties.getProperty("os.name", "");
        return new Updates(appName, version, Paths.get(master),
                launcher == null || launcher.isEmpty() ? null : Paths.get(launcher),
                properties.getProperty(LauncherArguments.PROPERTY), os.startsWith("Windows"));
    }

    /**
     * The running version, as the installed folder's name carries it (the "2" of
     * "Ferrolan-MyApp-00000000002-complete"); -1 when the launcher's settings do not tell.
     */
    public long runningVersion() {
        return runningVersion;
    }

    /**
     * Asks the launcher whether a newer version is offered to this machine. Blocks until it
     * answers (it reads the update folder over the network); {@link
     * NoUpdateReason#LAUNCHER_FAILED} when it cannot be run or gives no answer.
     *
     * @throws InterruptedException when the thread was interrupted; the launcher is ended
     */
    public CheckResult check() throws InterruptedException {
        Path command = launcherForCommands();
        if (command == null) {
            return CheckResult.none(NoUpdateReason.LAUNCHER_FAILED, noLauncher());
        }
        try {
            return LauncherCommand.run(command, CHECK, Updates::checkLine);
        } catch (LauncherCommand.Failure failure) {
            return CheckResult.none(NoUpdateReason.LAUNCHER_FAILED, failure.getMessage());
        }
    }

    /**
     * Has the launcher download and install the newer version beside the running one; the next
     * start runs it. Blocks until the launcher is done, telling `listener` (which may be null)
     * how far it has come on this thread. NONE with {@link NoUpdateReason#LAUNCHER_FAILED} when
     * the launcher cannot be run or gives no answer.
     *
     * @throws InterruptedException when the thread was interrupted; the launcher is ended, and
     *     a download it had not finished is not installed
     */
    public DownloadResult download(ProgressListener listener) throws InterruptedException {
        Path command = launcherForCommands();
        if (command == null) {
            return DownloadResult.none(NoUpdateReason.LAUNCHER_FAILED, noLauncher());
        }
        try {
            return LauncherCommand.run(command, DOWNLOAD,
                    (word, argument) -> downloadLine(word, argument, listener));
        } catch (LauncherCommand.Failure failure) {
            return DownloadResult.none(NoUpdateReason.LAUNCHER_FAILED, failure.getMessage());
        }
    }

    /**
     * Whether a version newer than the running one is installed in the master folder: the next
     * start runs it. True after a {@link #download} that was ready, and after the launcher
     * installed one in the background since this run started.
     */
    public boolean isUpdateReady() {
        if (runningVersion < 0) {
            return false;
        }
        try {
            Path newest = InstalledFolders.newest(masterFolder, appName);
            return newest != null && InstalledFolders.version(newest) > runningVersion;
        } catch (IOException unreadable) {
            return false;
        }
    }

    /**
     * Starts the application again through its launcher, with the arguments the user started
     * this run with, then ends this virtual machine with {@code System.exit(0)} (shutdown hooks
     * run; save the user's work first). The new start runs the newest installed version. The
     * launcher is the copy installed in the master folder ("&lt;App Name&gt;.exe" on Windows,
     * "&lt;App Name&gt;" elsewhere), else the one that started this run; it gets this process's
     * working folder, environment and standard streams, and outlives it.
     *
     * @throws IOException when no launcher can be started; this run then goes on
     */
    public void restart() throws IOException {
        startLauncher();
        System.exit(0);
    }

    /** The launcher a restart runs, started with this run's arguments. */
    Process startLauncher() throws IOException {
        Path copy = launcherCopy();
        Path restart = Files.isRegularFile(copy) ? copy : existing(launcher);
        if (restart == null) {
            throw new IOException(noLauncher());
        }
        List<String> command = new ArrayList<>();
        command.add(restart.toString());
        try {
            command.addAll(launcherArguments());
        } catch (IllegalArgumentException malformed) {
            throw new IOException("Cannot read the arguments to restart with: "
                    + malformed.getMessage(), malformed);
        }
        NativeText.prepareProcessLaunch();
        for (int i = 0; i < command.size(); i++) {
            command.set(i, NativeText.forProcessArgument(command.get(i)));
        }
        return new ProcessBuilder(command).inheritIO().start();
    }

    /**
     * The arguments the launcher was started with, from "ferrolan.arguments"; none when the
     * updater that started this run did not set it.
     */
    List<String> launcherArguments() {
        return arguments == null ? new ArrayList<String>() : LauncherArguments.decode(arguments);
    }

    /** The launcher that answers check and download: this run's, else the installed copy. */
    Path launcherForCommands() {
        Path own = existing(launcher);
        return own != null ? own : existing(launcherCopy());
    }

    private Path launcherCopy() {
        return masterFolder.resolve(windows ? appName + ".exe" : appName);
    }

    private String noLauncher() {
        return "no launcher found: neither " + launcherCopy()
                + (launcher == null ? "" : " nor " + launcher) + " exists";
    }

    private static Path existing(Path file) {
        return file != null && Files.isRegularFile(file) ? file : null;
    }

    /** The answer to a check when this line is the final one, else null. */
    private static CheckResult checkLine(String word, String argument) {
        switch (word) {
            case "available":
                long version = parseNumber(argument);
                return version < 0 ? null : CheckResult.available(version);
            case "none":
                return none(argument, CheckResult::none);
            default:
                return null;
        }
    }

    /** The answer to a download when this line is the final one, else null. */
    private static DownloadResult downloadLine(String word, String argument,
            ProgressListener listener) {
        switch (word) {
            case "progress":
                long percent = parseNumber(argument);
                if (percent >= 0 && listener != null) {
                    listener.progress((int) Math.min(percent, 100));
                }
                return null;
            case "ready":
                long version = parseNumber(argument);
                return version < 0 ? null : DownloadResult.ready(version);
            case "none":
                return none(argument, DownloadResult::none);
            case "failed":
                return DownloadResult.failed(argument);
            default:
                return null;
        }
    }

    /** How a result without an update is made from a reason and its detail. */
    private interface NoneResult<T> {
        T make(NoUpdateReason reason, String detail);
    }

    private static <T> T none(String word, NoneResult<T> result) {
        NoUpdateReason reason = NoUpdateReason.of(word);
        return result.make(reason, reason == NoUpdateReason.OTHER ? word : "");
    }

    /** A whole number of 1 to 19 decimal digits (versions and percentages); -1 otherwise. */
    static long parseNumber(String text) {
        if (text == null || text.isEmpty() || text.length() > 19) {
            return -1;
        }
        for (int i = 0; i < text.length(); i++) {
            if (text.charAt(i) < '0' || text.charAt(i) > '9') {
                return -1;
            }
        }
        try {
            return Long.parseLong(text);
        } catch (NumberFormatException tooLarge) {
            return Long.MAX_VALUE;
        }
    }
}
