package com.ferrolan.updater;

import com.ferrolan.runtime.InstalledFolders;
import com.ferrolan.runtime.LaunchFile;
import com.ferrolan.runtime.LaunchProperties;
import com.ferrolan.runtime.LsoFile;
import com.ferrolan.runtime.NativeText;
import java.io.File;
import java.io.IOException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;

/**
 * The updater the launcher starts. It receives the launch-properties file as its first argument
 * and the launcher's command-line arguments after it. It finds the newest installed version of
 * the application in the master folder, checks that it can start (its launch file, its jars,
 * its main class), falls back to the newest previous version when it cannot, and starts it in
 * a new Java process of the same runtime.
 *
 * <p>The application receives exactly the launch file's extra arguments followed by the user's
 * arguments, runs with its own version's JVM options, and finds the launcher's settings in
 * system properties: "ferrolan.launchProperties" (the launch-properties file, read with
 * {@link LaunchProperties#current()}), "ferrolan.appName", "ferrolan.appVersion",
 * "ferrolan.appFolder", "ferrolan.masterFolder", "ferrolan.updateUrl" and "ferrolan.launcher".
 *
 * <p>A start that fails ends the updater with an exception naming the updater's log, which the
 * launcher reports to the user. A real updater would also check the update URL for newer
 * versions; this one only runs what is installed.
 */
public final class Updater {
    /** A start counts as successful when the application is still running after this time. */
    private static final long START_GRACE_MS = 2000;
    /** The updater's own folders are named after this component. */
    private static final String UPDATER_COMPONENT = "Ferrolan";
    /** Launch-properties files left behind by runs that were killed are removed after a day. */
    private static final long STALE_PROPERTIES_MS = 24L * 60 * 60 * 1000;

    private Updater() {
    }

    /** Why the application could not be started; the message is for the user. */
    static final class StartFailure extends Exception {
        private static final long serialVersionUID = 1L;

        StartFailure(String message) {
            super(message);
        }
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
        int code;
        try (UpdaterLog log = UpdaterLog.open(masterFolder)) {
            try {
                code = run(properties, propertiesFile, masterFolder, updaterFolder,
                        Arrays.asList(args).subList(1, args.length), log);
            } catch (StartFailure | IOException | RuntimeException failure) {
                log.error(failure.getMessage());
                String where = log.path() == null ? "" : " (log: " + log.path() + ")";
                // The launcher reports an exception out of main to the user.
                throw new IllegalStateException(failure.getMessage() + where, failure);
            } finally {
                // The application has ended (or never started): nobody reads the file again.
                Files.deleteIfExists(propertiesFile);
            }
        }
        System.exit(code);
    }

    private static int run(LaunchProperties properties, Path propertiesFile, Path masterFolder,
            Path updaterFolder, List<String> userArguments, UpdaterLog log)
            throws StartFailure, IOException, InterruptedException {
        String appName = properties.getStatic("app_name");
        log.info("Master folder " + masterFolder + ", application " + appName);
        removeStaleProperties(updaterFolder, propertiesFile, log);
        recordUpdaterOptions(properties, masterFolder, updaterFolder, log);

        List<Path> installed = InstalledFolders.completeVersions(masterFolder, appName);
        if (installed.isEmpty()) {
            throw new StartFailure("No installed version of " + appName + " was found in "
                    + masterFolder);
        }
        Path appFolder = null;
        LaunchFile launch = null;
        String firstProblem = null;
        // The newest version, and when it cannot start the one before it: a bad release must
        // not break every start until a higher version ships.
        for (Path candidate : installed.subList(0, Math.min(2, installed.size()))) {
            try {
                LaunchFile read = LaunchFile.read(candidate.resolve(LaunchFile.NAME));
                String problem = cannotStart(candidate, read);
                if (problem == null) {
                    appFolder = candidate;
                    launch = read;
                    break;
                }
                firstProblem = firstProblem == null ? problem : firstProblem;
            } catch (IOException unreadable) {
                String problem = candidate.getFileName() + " has no readable launch file "
                        + LaunchFile.NAME;
                firstProblem = firstProblem == null ? problem : firstProblem;
            }
            log.error(firstProblem);
            if (installed.size() > 1 && candidate.equals(installed.get(0))) {
                log.info("Falling back to the previous version " + installed.get(1).getFileName());
            }
        }
        if (appFolder == null) {
            throw new StartFailure(appName + " cannot start: " + firstProblem);
        }

        List<String> command = command(launch, appFolder, masterFolder, properties,
                propertiesFile, userArguments);
        log.info("Starting " + command);
        NativeText.prepareProcessLaunch();
        List<String> processArguments = new ArrayList<>();
        for (String argument : command) {
            processArguments.add(NativeText.forProcessArgument(argument));
        }
        Process app = new ProcessBuilder(processArguments).inheritIO().start();
        boolean ended = app.waitFor(START_GRACE_MS, TimeUnit.MILLISECONDS);
        if (!ended || app.exitValue() == 0) {
            removeLeftoverTrash(masterFolder, log);
            removeOldVersions(masterFolder, appName, appFolder, log);
            removeOldVersions(masterFolder, UPDATER_COMPONENT, updaterFolder, log);
            String jreName = properties.getStatic("jre_name");
            if (jreName != null) {
                removeOldVersions(masterFolder, jreName,
                        Paths.get(System.getProperty("java.home")), log);
            }
        }
        int code = app.waitFor();
        log.info(appName + " ended with exit code " + code);
        return code;
    }

    /**
     * What keeps the application in `folder` from starting, or null: its jars must be there,
     * and its main class must be in them with a public static void main(String[]).
     */
    static String cannotStart(Path folder, LaunchFile launch) {
        String version = folder.getFileName().toString();
        if (launch.mainClass.isEmpty()) {
            return version + ": its launch file names no main class";
        }
        List<URL> urls = new ArrayList<>();
        for (String entry : launch.classpath) {
            Path jar = folder.resolve(entry);
            if (!Files.exists(jar)) {
                return version + ": its class path entry " + entry + " is missing";
            }
            try {
                urls.add(jar.toUri().toURL());
            } catch (IOException malformed) {
                return version + ": its class path entry " + entry + " is not a valid path";
            }
        }
        try (URLClassLoader loader = new URLClassLoader(urls.toArray(new URL[0]),
                ClassLoader.getPlatformClassLoader())) {
            Class<?> mainClass = Class.forName(launch.mainClass, false, loader);
            Method main = mainClass.getMethod("main", String[].class);
            if (!Modifier.isStatic(main.getModifiers())) {
                return version + ": " + launch.mainClass + ".main is not static";
            }
            return null;
        } catch (ClassNotFoundException | NoClassDefFoundError missing) {
            return version + ": its main class " + launch.mainClass
                    + " is not in its class path " + launch.classpath;
        } catch (NoSuchMethodException noMain) {
            return version + ": " + launch.mainClass + " has no main(String[]) method";
        } catch (IOException | LinkageError | SecurityException broken) {
            return version + ": its main class " + launch.mainClass + " cannot be loaded: "
                    + broken;
        }
    }

    /** The application's command line: its own version's settings, then the user's arguments. */
    static List<String> command(LaunchFile launch, Path appFolder, Path masterFolder,
            LaunchProperties properties, Path propertiesFile, List<String> userArguments)
            throws IOException {
        List<String> command = new ArrayList<>();
        command.add(javaExecutable());
        if (launch.maxHeapMb > 0) {
            command.add("-Xmx" + launch.maxHeapMb + "m");
        }
        if (launch.initialHeapMb > 0) {
            command.add("-Xms" + launch.initialHeapMb + "m");
        }
        command.addAll(launch.jvmOptions);
        command.addAll(proxyOptions(masterFolder));
        command.add("-D" + LaunchProperties.SYSTEM_PROPERTY + "=" + propertiesFile);
        command.add("-Dferrolan.appName=" + properties.getStatic("app_name"));
        command.add("-Dferrolan.appVersion=" + InstalledFolders.version(appFolder));
        command.add("-Dferrolan.appFolder=" + appFolder);
        command.add("-Dferrolan.masterFolder=" + masterFolder);
        String updateUrl = properties.updateUrl();
        if (updateUrl != null) {
            command.add("-Dferrolan.updateUrl=" + updateUrl);
        }
        String launcher = properties.getStatic("launched_from_dynprops");
        if (launcher != null) {
            command.add("-Dferrolan.launcher=" + launcher);
        }
        List<String> classpath = new ArrayList<>();
        for (String entry : launch.classpath) {
            classpath.add(appFolder.resolve(entry).toString());
        }
        if (!classpath.isEmpty()) {
            command.add("-cp");
            command.add(String.join(File.pathSeparator, classpath));
        }
        command.add(launch.mainClass);
        command.addAll(launch.extraArguments);
        command.addAll(userArguments);
        return command;
    }

    private static String javaExecutable() {
        boolean windows = System.getProperty("os.name").startsWith("Windows");
        return Paths.get(System.getProperty("java.home"), "bin", windows ? "java.exe" : "java")
                .toString();
    }

    /**
     * The proxy the launcher's downloads went through, from "FLAppsSharedConfig/DetectedProxy":
     * the proxy list, then optionally CR LF and the bypass list. Handed to the application as
     * system properties; none when the file is missing.
     */
    static List<String> proxyOptions(Path masterFolder) throws IOException {
        Path file = masterFolder.resolve("FLAppsSharedConfig").resolve("DetectedProxy");
        List<String> options = new ArrayList<>();
        if (!Files.isRegularFile(file)) {
            return options;
        }
        String text = new String(Files.readAllBytes(file), NativeText.charset());
        int split = text.indexOf("\r\n");
        String list = split < 0 ? text : text.substring(0, split);
        options.add("-Dferrolan.proxy.list=" + list);
        if (split >= 0) {
            options.add("-Dferrolan.proxy.bypass=" + text.substring(split + 2));
        }
        return options;
    }

    /**
     * The JRE's LSO file holds the JVM options that last started successfully with it; the
     * launcher starts this updater with them. They are the updater's own options, from its
     * launch file, so an application's options never reach the updater's virtual machine, and
     * each application version runs with the options it declares. Written only when they
     * changed.
     */
    private static void recordUpdaterOptions(LaunchProperties properties, Path masterFolder,
            Path updaterFolder, UpdaterLog log) throws IOException {
        String jreName = properties.getStatic("jre_name");
        Path jreFolder = jreName == null ? null : InstalledFolders.newest(masterFolder, jreName);
        Path launchFile = updaterFolder.resolve(LaunchFile.NAME);
        if (jreFolder == null || !Files.isRegularFile(launchFile)) {
            return;
        }
        List<String> options = LaunchFile.read(launchFile).jvmOptions;
        if (options.equals(properties.lastSuccessfulOptions())) {
            return;
        }
        Path lso = LsoFile.path(masterFolder, jreFolder.getFileName().toString());
        LsoFile.write(lso, options);
        log.info("Recorded " + options.size() + " JVM options in " + lso);
    }

    /** Launch-properties files of earlier runs that were killed before they could remove them. */
    private static void removeStaleProperties(Path folder, Path current, UpdaterLog log) {
        long now = System.currentTimeMillis();
        try (Stream<Path> entries = Files.list(folder)) {
            for (Path entry : (Iterable<Path>) entries::iterator) {
                if (entry.getFileName().toString().startsWith("FLLaunchProperties-")
                        && !entry.equals(current)
                        && now - Files.getLastModifiedTime(entry).toMillis() > STALE_PROPERTIES_MS) {
                    Files.deleteIfExists(entry);
                }
            }
        } catch (IOException unlisted) {
            log.info("Could not look for old launch-properties files: " + unlisted);
        }
    }

    /**
     * Keeps the running version of a component, the newest version before it and any newer
     * one (a newer release that could not start stays for the launcher's next look); older
     * versions go. A folder is first renamed out of the way, which fails while a program still
     * uses it on Windows: then it stays for a later run.
     */
    static void removeOldVersions(Path masterFolder, String component, Path running,
            UpdaterLog log) {
        try {
            List<Path> installed = InstalledFolders.completeVersions(masterFolder, component);
            long runningVersion = InstalledFolders.version(running);
            boolean previousKept = false;
            for (Path folder : installed) {
                if (InstalledFolders.version(folder) >= runningVersion) {
                    continue;
                }
                if (!previousKept) {
                    previousKept = true;
                    continue;
                }
                Path trash = masterFolder.resolve("FerrolanTrash-" + System.nanoTime());
                try {
                    Files.move(folder, trash);
                } catch (IOException inUse) {
                    log.info("Keeping " + folder.getFileName() + " for now: " + inUse);
                    continue;
                }
                deleteTree(trash);
                log.info("Removed the old version " + folder.getFileName());
            }
        } catch (IOException unlisted) {
            log.info("Could not look for old versions of " + component + ": " + unlisted);
        }
    }

    /** Folders an earlier clean-up renamed but could not delete completely. */
    private static void removeLeftoverTrash(Path masterFolder, UpdaterLog log) {
        try (Stream<Path> entries = Files.list(masterFolder)) {
            for (Path entry : (Iterable<Path>) entries::iterator) {
                if (entry.getFileName().toString().startsWith("FerrolanTrash-")) {
                    deleteTree(entry);
                }
            }
        } catch (IOException stillInUse) {
            log.info("Could not remove an old version yet: " + stillInUse);
        }
    }

    private static void deleteTree(Path root) throws IOException {
        try (Stream<Path> paths = Files.walk(root)) {
            for (Path path : (Iterable<Path>) paths.sorted(Comparator.reverseOrder())::iterator) {
                Files.deleteIfExists(path);
            }
        }
    }
}
