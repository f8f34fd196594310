package com.ferrolan.updater;

import com.ferrolan.runtime.LaunchProperties;
import com.ferrolan.runtime.files.LaunchFile;
import com.ferrolan.updater.installed.StartableVersion;
import com.ferrolan.updater.log.UpdaterLog;
import com.ferrolan.updater.start.InProcessStart;
import com.ferrolan.updater.start.JvmOptions;
import com.ferrolan.updater.start.LauncherSettings;
import com.ferrolan.updater.start.ProcessStart;
import com.ferrolan.updater.start.StartFailure;
import com.ferrolan.updater.start.Started;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.List;
import java.util.Map;

/**
 * The updater the launcher starts. It receives the launch-properties file as its first argument
 * and the launcher's command-line arguments after it. It finds the newest installed version of
 * the application in the master folder, checks that it can start (its launch file, its jars,
 * its main class), falls back to the newest previous version when it cannot, and starts it.
 *
 * <p>When the application declares the same virtual machine settings as the updater (heap sizes
 * and options) and does not ask for a virtual machine of its own, it runs in this one, exactly
 * as "java -jar" (or "java -cp") would start it: main returns, and the launcher, which loaded
 * the updater into a class loader of its own, takes the start from {@link #handOver()}. Its
 * classes are then on the system class path and its {@code main} runs on the main thread.
 * Otherwise it starts in a new Java process of the same runtime: when it asks for one or
 * declares other settings, when its main jar's manifest names a SplashScreen-Image (which only
 * the "java" command shows), and when this updater was itself started as a Java process.
 *
 * <p>The application receives exactly the launch file's extra arguments followed by the user's
 * arguments, runs with its own version's JVM options, and finds the launcher's settings in
 * system properties: "ferrolan.launchProperties" (the launch-properties file, read with
 * {@link LaunchProperties#current()}), "ferrolan.appName", "ferrolan.appVersion",
 * "ferrolan.appFolder", "ferrolan.masterFolder", "ferrolan.updateUrl", "ferrolan.launcher" and
 * "ferrolan.arguments" (the user's arguments, encoded, for a restart through the launcher).
 *
 * <p>A start that fails ends the updater with an exception naming the updater's log, which the
 * launcher reports to the user. A real updater would also check the update URL for newer
 * versions; this one only runs what is installed.
 *
 * <p>This class only puts the run together; the work is in its packages: {@code installed}
 * (which version starts, and the clean-up of old ones), {@code start} (how it starts) and
 * {@code log}.
 */
public final class Updater {
    private Updater() {
    }

    public static void main(String[] args) throws Exception {
        if (args.length < 1) {
            System.err.println("[Updater] Expected the launch-properties file as first argument");
            System.exit(2);
        }
        Path propertiesFile = Paths.get(args[0]);
        LaunchProperties properties = LaunchProperties.read(propertiesFile);
        Path updaterFolder = Paths.get(properties.getStatic("app_dir"));
        Path masterFolder = updaterFolder.getParent();
        Started started = null;
        UpdaterLog log = UpdaterLog.open(masterFolder);
        try {
            started = run(properties, propertiesFile, masterFolder, updaterFolder,
                    Arrays.asList(args).subList(1, args.length), log);
        } catch (StartFailure | IOException | RuntimeException failure) {
            log.error(failure.getMessage());
            String where = log.path() == null ? "" : " (log: " + log.path() + ")";
            // The launcher reports an exception out of main to the user.
            throw new IllegalStateException(failure.getMessage() + where, failure);
        } finally {
            // The application has ended (or never started): nobody reads the file again, and
            // the log is complete. An application running in this virtual machine may still
            // read the file; a shutdown hook removes it and completes the log then.
            if (started == null || !started.stillRunning) {
                Files.deleteIfExists(propertiesFile);
                log.close();
            }
        }
        if (!started.stillRunning) {
            System.exit(started.exitCode);
        }
        // The launcher starts what was handed over; the virtual machine ends with the
        // application's last thread, as it would under "java".
    }

    /**
     * What the launcher is to start in this virtual machine once main has returned, taken
     * once: the main class, the main jar or "", the number of class path entries, the entries,
     * then the arguments. Null when nothing was handed over.
     */
    public static String[] handOver() {
        return InProcessStart.takeHandOver();
    }

    /** Called by the launcher when the application's main has returned (null) or thrown. */
    public static void mainEnded(Throwable thrown) {
        InProcessStart.mainEnded(thrown);
    }

    private static Started run(LaunchProperties properties, Path propertiesFile, Path masterFolder,
            Path updaterFolder, List<String> userArguments, UpdaterLog log)
            throws StartFailure, IOException, InterruptedException {
        String appName = properties.getStatic("app_name");
        log.info("Master folder " + masterFolder + ", application " + appName);
        Path updaterLaunchFile = updaterFolder.resolve(LaunchFile.NAME);
        LaunchFile updaterLaunch = updaterLaunchFile.toFile().isFile()
                ? LaunchFile.read(updaterLaunchFile) : null;

        StartableVersion app = StartableVersion.find(masterFolder, appName, log);
        Map<String, String> settings = LauncherSettings.of(app.folder, masterFolder, properties,
                propertiesFile, userArguments);
        StartChores afterStart = new StartChores(properties, propertiesFile, masterFolder,
                updaterFolder, updaterLaunch, app.folder, log);
        if (InProcessStart.launcherTakesHandOver()
                && JvmOptions.fitThisMachine(app.launch, updaterLaunch, properties)
                && (app.mainJar == null || !app.mainJar.hasSplashScreen)) {
            return InProcessStart.run(app.launch, app.folder, app.mainJar, settings,
                    propertiesFile, userArguments, afterStart, log);
        }
        return ProcessStart.run(appName, app.launch, app.folder, app.mainJar, settings,
                userArguments, afterStart, log);
    }
}
