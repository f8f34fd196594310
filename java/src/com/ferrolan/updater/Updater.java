package com.ferrolan.updater;

import com.ferrolan.runtime.FileBytes;
import com.ferrolan.runtime.InstalledFolders;
import com.ferrolan.runtime.LaunchFile;
import com.ferrolan.runtime.LaunchProperties;
import com.ferrolan.runtime.LsoFile;
import com.ferrolan.runtime.NativeText;
import java.io.File;
import java.io.IOException;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.security.CodeSource;
import java.security.PermissionCollection;
import java.security.Permissions;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;

/**
 * The updater the launcher starts. It receives the launch-properties file as its first argument
 * and the launcher's command-line arguments after it. It finds the newest installed version of
 * the application in the master folder, checks that it can start (its launch file, its jars,
 * its main class), falls back to the newest previous version when it cannot, and starts it.
 *
 * <p>When the application declares the same virtual machine settings as the updater (heap sizes
 * and options) and does not ask for a virtual machine of its own, it runs in this one: its
 * classes in a class loader of their own over its class path, its {@code main} on this thread.
 * Otherwise it starts in a new Java process of the same runtime.
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
        Started started = null;
        try (UpdaterLog log = UpdaterLog.open(masterFolder)) {
            try {
                started = run(properties, propertiesFile, masterFolder, updaterFolder,
                        Arrays.asList(args).subList(1, args.length), log);
            } catch (StartFailure | IOException | RuntimeException failure) {
                log.error(failure.getMessage());
                String where = log.path() == null ? "" : " (log: " + log.path() + ")";
                // The launcher reports an exception out of main to the user.
                throw new IllegalStateException(failure.getMessage() + where, failure);
            } finally {
                // The application has ended (or never started): nobody reads the file again.
                // An application still running in this virtual machine may; a shutdown hook
                // removes the file then.
                if (started == null || !started.stillRunning) {
                    Files.deleteIfExists(propertiesFile);
                }
            }
        }
        if (!started.stillRunning) {
            System.exit(started.exitCode);
        }
        // The application's main returned: the virtual machine ends with its last thread, as
        // it would under "java".
    }

    /** How a start ended: with an exit code, or with the application still running here. */
    static final class Started {
        final int exitCode;
        final boolean stillRunning;

        private Started(int exitCode, boolean stillRunning) {
            this.exitCode = exitCode;
            this.stillRunning = stillRunning;
        }

        static Started ended(int exitCode) {
            return new Started(exitCode, false);
        }

        static Started running() {
            return new Started(0, true);
        }
    }

    private static Started run(LaunchProperties properties, Path propertiesFile, Path masterFolder,
            Path updaterFolder, List<String> userArguments, UpdaterLog log)
            throws StartFailure, IOException, InterruptedException {
        String appName = properties.getStatic("app_name");
        log.info("Master folder " + masterFolder + ", application " + appName);
        Path updaterLaunchFile = updaterFolder.resolve(LaunchFile.NAME);
        LaunchFile updaterLaunch = updaterLaunchFile.toFile().isFile()
                ? LaunchFile.read(updaterLaunchFile) : null;

        List<Path> installed = InstalledFolders.completeVersions(masterFolder, appName);
        if (installed.isEmpty()) {
            throw new StartFailure("No installed version of " + appName + " was found in "
                    + masterFolder);
        }
        Path appFolder = null;
        LaunchFile launch = null;
        Method main = null;
        String firstProblem = null;
        // The newest version, and when it cannot start the one before it: a bad release must
        // not break every start until a higher version ships.
        for (Path candidate : installed.subList(0, Math.min(2, installed.size()))) {
            try {
                LaunchFile read = LaunchFile.read(candidate.resolve(LaunchFile.NAME));
                main = loadMain(candidate, read);
                appFolder = candidate;
                launch = read;
                break;
            } catch (StartFailure cannot) {
                firstProblem = firstProblem == null ? cannot.getMessage() : firstProblem;
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

        Map<String, String> settings = launcherSettings(appFolder, masterFolder, properties,
                propertiesFile);
        // The chores that wait until the application is on its way: recording the updater's
        // options, and removing what earlier runs left (only once the start went well).
        Path runningApp = appFolder;
        AfterStart afterStart = new AfterStart() {
            @Override
            public void run(boolean started) {
                try {
                    recordUpdaterOptions(properties, masterFolder, updaterLaunch, log);
                } catch (IOException unwritable) {
                    log.info("Could not record the updater's JVM options: " + unwritable);
                }
                removeStaleProperties(updaterFolder, propertiesFile, log);
                if (!started) {
                    return;
                }
                removeLeftoverTrash(masterFolder, log);
                removeOldVersions(masterFolder, appName, runningApp, log);
                removeOldVersions(masterFolder, UPDATER_COMPONENT, updaterFolder, log);
                String jreName = properties.getStatic("jre_name");
                if (jreName != null) {
                    removeOldVersions(masterFolder, jreName,
                            Paths.get(System.getProperty("java.home")), log);
                }
            }
        };
        if (launch.mustFork == 0 && updaterLaunch != null
                && jvmOptions(launch).equals(updaterJvmOptions(updaterLaunch, properties))) {
            return runHere(launch, appFolder, main, settings, propertiesFile, userArguments,
                    afterStart, log);
        }
        closeLoaderOf(main);

        List<String> command = command(launch, appFolder, settings, userArguments);
        log.info("Starting " + command);
        NativeText.prepareProcessLaunch();
        List<String> processArguments = new ArrayList<>();
        for (String argument : command) {
            processArguments.add(NativeText.forProcessArgument(argument));
        }
        Process app = new ProcessBuilder(processArguments).inheritIO().start();
        log.startWriting();
        boolean ended = app.waitFor(START_GRACE_MS, TimeUnit.MILLISECONDS);
        afterStart.run(!ended || app.exitValue() == 0);
        int code = app.waitFor();
        log.info(appName + " ended with exit code " + code);
        return Started.ended(code);
    }

    /**
     * Runs the application in this virtual machine: its classes in a loader of their own (over
     * its class path, beside the platform's classes, so the updater's classes stay out of its
     * way), the launcher's settings as system properties, its {@code main} on this thread. The
     * chores after the start run on a daemon thread once the application has run for the
     * start's grace time or its main returned, so an application that calls System.exit cuts
     * them short at worst (a renamed folder is removed on a later start). The launch-properties
     * file goes, and the log is completed, when the virtual machine ends.
     *
     * <p>Only what the application needs is done before its main, and the shutdown hook: an
     * application that calls System.exit at once may end the run before the chores' thread
     * (started right before main, on the other core) gets to run at all, and the hook still
     * completes the log then.
     */
    private static Started runHere(LaunchFile launch, Path appFolder, Method main,
            Map<String, String> settings, Path propertiesFile, List<String> userArguments,
            AfterStart afterStart, UpdaterLog log) throws StartFailure, InterruptedException {
        String version = appFolder.getFileName().toString();
        StringBuilder classpath = new StringBuilder();
        for (String entry : launch.classpath) {
            if (classpath.length() > 0) {
                classpath.append(File.pathSeparatorChar);
            }
            classpath.append(appFolder.resolve(entry));
        }
        List<String> arguments = new ArrayList<>(launch.extraArguments);
        arguments.addAll(userArguments);
        log.info("Starting " + launch.mainClass + " of " + version
                + " in this virtual machine with class path " + classpath + " and arguments "
                + arguments);
        try {
            main.setAccessible(true);
        } catch (SecurityException refused) {
            throw new StartFailure(version + ": " + launch.mainClass + ".main cannot be called: "
                    + refused);
        }
        for (Map.Entry<String, String> setting : settings.entrySet()) {
            System.setProperty(setting.getKey(), setting.getValue());
        }
        System.setProperty("java.class.path", classpath.toString());
        AfterMain chores = new AfterMain(propertiesFile, log, afterStart);
        chores.addShutdownHook();
        chores.start();

        Thread thread = Thread.currentThread();
        ClassLoader updaterLoader = thread.getContextClassLoader();
        // Not closed: the application's classes load through it for as long as it runs.
        thread.setContextClassLoader(main.getDeclaringClass().getClassLoader());
        try {
            main.invoke(null, (Object) arguments.toArray(new String[0]));
        } catch (InvocationTargetException thrown) {
            chores.mainEnded(false);
            thread.setContextClassLoader(updaterLoader);
            // What "java" prints for an exception out of main; like it, the exit code is 1 once
            // the application's other threads have ended.
            Throwable cause = thrown.getCause();
            System.err.print("Exception in thread \"" + thread.getName() + "\" ");
            cause.printStackTrace();
            log.error(launch.mainClass + " of " + version + " failed: " + cause);
            awaitOtherThreads();
            return Started.ended(1);
        } catch (IllegalAccessException refused) {
            chores.mainEnded(false);
            throw new StartFailure(version + ": " + launch.mainClass + ".main cannot be called: "
                    + refused);
        }
        thread.setContextClassLoader(updaterLoader);
        chores.mainEnded(true);
        chores.join();
        log.info(launch.mainClass + " of " + version + " returned from main");
        return Started.running();
    }

    /** Waits for every thread but this one that keeps the virtual machine alive. */
    private static void awaitOtherThreads() throws InterruptedException {
        Thread self = Thread.currentThread();
        for (;;) {
            Thread other = null;
            for (Thread thread : Thread.getAllStackTraces().keySet()) {
                if (thread != self && thread.isAlive() && !thread.isDaemon()
                        && !"DestroyJavaVM".equals(thread.getName())) {
                    other = thread;
                    break;
                }
            }
            if (other == null) {
                return;
            }
            other.join();
        }
    }

    /** The chores after a start; `started` tells whether the application got going. */
    private interface AfterStart {
        void run(boolean started);
    }

    /**
     * The thread of the chores after a start in this virtual machine, and the shutdown hook that
     * removes the launch-properties file and completes the log. The thread waits until the
     * application's main has ended or has run for the start's grace time, then opens the log
     * and runs the chores (the clean-up of old versions only when main did not fail). A monitor
     * of its own carries how main ended.
     */
    private static final class AfterMain extends Thread {
        private final Path propertiesFile;
        private final UpdaterLog log;
        private final AfterStart afterStart;
        private boolean ended;
        private boolean succeeded;

        AfterMain(Path propertiesFile, UpdaterLog log, AfterStart afterStart) {
            super("ferrolan-after-start");
            setDaemon(true);
            this.propertiesFile = propertiesFile;
            this.log = log;
            this.afterStart = afterStart;
        }

        /** Main has returned (`succeeded`) or failed. */
        synchronized void mainEnded(boolean succeeded) {
            this.ended = true;
            this.succeeded = succeeded;
            notifyAll();
        }

        /** Adds the shutdown hook; before main, so that an exit from main always runs it. */
        void addShutdownHook() {
            Runtime.getRuntime().addShutdownHook(new Thread("ferrolan-shutdown") {
                @Override
                public void run() {
                    cleanUp();
                }
            });
        }

        @Override
        public void run() {
            boolean started;
            synchronized (this) {
                long deadline = System.currentTimeMillis() + START_GRACE_MS;
                for (long left = START_GRACE_MS; !ended && left > 0;
                        left = deadline - System.currentTimeMillis()) {
                    try {
                        wait(left);
                    } catch (InterruptedException stopped) {
                        return;
                    }
                }
                started = !ended || succeeded;
            }
            log.startWriting();
            afterStart.run(started);
        }

        private void cleanUp() {
            // When it cannot go, a later start removes it once it is a day old.
            propertiesFile.toFile().delete();
            log.close();
        }
    }

    /**
     * The main method of the application in `folder`, loaded through a class loader of its own
     * over its class path, beside the platform's classes. Throws what keeps the version from
     * starting: its jars must be there, and its main class must be in them with a public static
     * void main(String[]).
     */
    static Method loadMain(Path folder, LaunchFile launch) throws StartFailure {
        String version = folder.getFileName().toString();
        if (launch.mainClass.isEmpty()) {
            throw new StartFailure(version + ": its launch file names no main class");
        }
        List<URL> urls = new ArrayList<>();
        for (String entry : launch.classpath) {
            Path jar = folder.resolve(entry);
            if (!jar.toFile().exists()) {
                throw new StartFailure(version + ": its class path entry " + entry
                        + " is missing");
            }
            try {
                urls.add(jar.toUri().toURL());
            } catch (IOException malformed) {
                throw new StartFailure(version + ": its class path entry " + entry
                        + " is not a valid path");
            }
        }
        URLClassLoader loader = new ApplicationLoader(urls.toArray(new URL[0]));
        String problem;
        try {
            Class<?> mainClass = Class.forName(launch.mainClass, false, loader);
            Method main = mainClass.getMethod("main", String[].class);
            if (Modifier.isStatic(main.getModifiers())) {
                return main;
            }
            problem = version + ": " + launch.mainClass + ".main is not static";
        } catch (ClassNotFoundException | NoClassDefFoundError missing) {
            problem = version + ": its main class " + launch.mainClass
                    + " is not in its class path " + launch.classpath;
        } catch (NoSuchMethodException noMain) {
            problem = version + ": " + launch.mainClass + " has no main(String[]) method";
        } catch (LinkageError | SecurityException broken) {
            problem = version + ": its main class " + launch.mainClass + " cannot be loaded: "
                    + broken;
        }
        closeLoader(loader);
        throw new StartFailure(problem);
    }

    /**
     * The application's class loader: its class path, beside the platform's classes. Without a
     * security manager no permission is ever checked, so its classes get an empty set: working
     * out URLClassLoader's file permissions would load and initialise the security
     * configuration, milliseconds before the application's main that a start through "java"
     * does not spend.
     */
    static final class ApplicationLoader extends URLClassLoader {
        static {
            ClassLoader.registerAsParallelCapable();
        }

        ApplicationLoader(URL[] classpath) {
            super(classpath, ClassLoader.getPlatformClassLoader());
        }

        @Override
        @SuppressWarnings("removal")
        protected PermissionCollection getPermissions(CodeSource source) {
            return System.getSecurityManager() == null ? new Permissions()
                    : super.getPermissions(source);
        }
    }

    /** Lets go of the jars behind a main method that will not run in this machine. */
    private static void closeLoaderOf(Method main) {
        ClassLoader loader = main.getDeclaringClass().getClassLoader();
        if (loader instanceof URLClassLoader) {
            closeLoader((URLClassLoader) loader);
        }
    }

    private static void closeLoader(URLClassLoader loader) {
        try {
            loader.close();
        } catch (IOException ignored) {
            // Its jars stay open until the loader is collected; nothing else depends on it.
        }
    }

    /** The heap sizes and options a launch file declares, as virtual machine options. */
    static List<String> jvmOptions(LaunchFile launch) {
        return withHeapSizes(launch, launch.jvmOptions);
    }

    /**
     * The options the launcher started this virtual machine with: the heap sizes of the
     * updater's launch file, then the options last recorded for the runtime (its LSO file) or,
     * with none recorded, the launch file's own.
     */
    static List<String> updaterJvmOptions(LaunchFile updaterLaunch, LaunchProperties properties) {
        List<String> recorded = properties.lastSuccessfulOptions();
        return withHeapSizes(updaterLaunch,
                recorded.isEmpty() ? updaterLaunch.jvmOptions : recorded);
    }

    /** The launch file's heap sizes as -Xmx and -Xms, followed by `options`. */
    private static List<String> withHeapSizes(LaunchFile launch, List<String> options) {
        List<String> all = new ArrayList<>();
        if (launch.maxHeapMb > 0) {
            all.add("-Xmx" + launch.maxHeapMb + "m");
        }
        if (launch.initialHeapMb > 0) {
            all.add("-Xms" + launch.initialHeapMb + "m");
        }
        all.addAll(options);
        return all;
    }

    /** The launcher's settings the application finds in system properties. */
    static Map<String, String> launcherSettings(Path appFolder, Path masterFolder,
            LaunchProperties properties, Path propertiesFile) throws IOException {
        Map<String, String> settings = new LinkedHashMap<>(proxySettings(masterFolder));
        settings.put(LaunchProperties.SYSTEM_PROPERTY, propertiesFile.toString());
        settings.put("ferrolan.appName", properties.getStatic("app_name"));
        settings.put("ferrolan.appVersion", Long.toString(InstalledFolders.version(appFolder)));
        settings.put("ferrolan.appFolder", appFolder.toString());
        settings.put("ferrolan.masterFolder", masterFolder.toString());
        String updateUrl = properties.updateUrl();
        if (updateUrl != null) {
            settings.put("ferrolan.updateUrl", updateUrl);
        }
        String launcher = properties.getStatic("launched_from_dynprops");
        if (launcher != null) {
            settings.put("ferrolan.launcher", launcher);
        }
        return settings;
    }

    /** The application's command line: its own version's settings, then the user's arguments. */
    static List<String> command(LaunchFile launch, Path appFolder, Map<String, String> settings,
            List<String> userArguments) {
        List<String> command = new ArrayList<>();
        command.add(javaExecutable());
        command.addAll(jvmOptions(launch));
        settings.forEach((name, value) -> command.add("-D" + name + "=" + value));
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
    static Map<String, String> proxySettings(Path masterFolder) throws IOException {
        Path file = masterFolder.resolve("FLAppsSharedConfig").resolve("DetectedProxy");
        Map<String, String> settings = new LinkedHashMap<>();
        if (!file.toFile().isFile()) {
            return settings;
        }
        String text = new String(FileBytes.read(file), NativeText.charset());
        int split = text.indexOf("\r\n");
        settings.put("ferrolan.proxy.list", split < 0 ? text : text.substring(0, split));
        if (split >= 0) {
            settings.put("ferrolan.proxy.bypass", text.substring(split + 2));
        }
        return settings;
    }

    /**
     * The JRE's LSO file holds the JVM options that last started successfully with it; the
     * launcher starts this updater with them. They are the updater's own options, from its
     * launch file, so an application's options never reach the updater's virtual machine, and
     * each application version runs with the options it declares. Written only when they
     * changed.
     */
    private static void recordUpdaterOptions(LaunchProperties properties, Path masterFolder,
            LaunchFile updaterLaunch, UpdaterLog log) throws IOException {
        if (updaterLaunch == null
                || updaterLaunch.jvmOptions.equals(properties.lastSuccessfulOptions())) {
            return;
        }
        List<String> options = updaterLaunch.jvmOptions;
        String jreName = properties.getStatic("jre_name");
        Path jreFolder = jreName == null ? null : InstalledFolders.newest(masterFolder, jreName);
        if (jreFolder == null) {
            return;
        }
        Path lso = LsoFile.path(masterFolder, jreFolder.getFileName().toString());
        LsoFile.write(lso, options);
        log.info("Recorded " + options.size() + " JVM options in " + lso);
    }

    /**
     * Launch-properties files of earlier runs that were killed before they could remove them.
     * Listed through java.io, as the other chores of every start: a stream over a directory
     * would bootstrap the lambda machinery, tens of milliseconds in a new virtual machine.
     */
    private static void removeStaleProperties(Path folder, Path current, UpdaterLog log) {
        long now = System.currentTimeMillis();
        String[] names = folder.toFile().list();
        if (names == null) {
            log.info("Could not look for old launch-properties files in " + folder);
            return;
        }
        for (String name : names) {
            File entry = folder.resolve(name).toFile();
            if (name.startsWith("FLLaunchProperties-") && !entry.toPath().equals(current)
                    && now - entry.lastModified() > STALE_PROPERTIES_MS && !entry.delete()) {
                log.info("Could not remove the old launch-properties file " + entry);
            }
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
        String[] names = masterFolder.toFile().list();
        if (names == null) {
            return;
        }
        for (String name : names) {
            if (name.startsWith("FerrolanTrash-")) {
                try {
                    deleteTree(masterFolder.resolve(name));
                } catch (IOException stillInUse) {
                    log.info("Could not remove an old version yet: " + stillInUse);
                }
            }
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
