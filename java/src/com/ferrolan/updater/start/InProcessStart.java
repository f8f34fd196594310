package com.ferrolan.updater.start;

import com.ferrolan.runtime.files.LaunchFile;
import com.ferrolan.updater.log.UpdaterLog;
import java.io.File;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;

/**
 * Runs the application in this virtual machine, as "java" would have started it: the updater
 * prepares the start and hands it over to the launcher, which, once the updater's main has
 * returned, puts the application's class path on the system class loader, loads its main class
 * (from its main jar's manifest, as "java -jar" does) and calls its main on the main thread.
 * The updater's own classes stay in the class loader the launcher gave them, which the
 * application never sees. The run then ends as under "java": when main has returned and the
 * application's last non-daemon thread has ended, or through System.exit; an exception out of
 * main is reported by the main thread's uncaught-exception handler and the exit code is 1.
 */
public final class InProcessStart {
    /** What the launcher is to start, until it takes it. */
    private static String[] handOver;
    /** The chores of the start that was handed over. */
    private static AfterMain chores;
    /** Its main class and version, for the log. */
    private static String started;

    private InProcessStart() {
    }

    /**
     * Whether the launcher that started this virtual machine takes a hand-over: it loaded the
     * updater into a class loader of its own. An updater on the class path (started as a Java
     * process) starts the application in a process of its own instead.
     */
    public static boolean launcherTakesHandOver() {
        return InProcessStart.class.getClassLoader() != ClassLoader.getSystemClassLoader();
    }

    /**
     * Prepares the start of the version in `appFolder` and hands it over. The chores after the
     * start run on a daemon thread once the application has run for the start's grace time or
     * its main returned, so an application that calls System.exit cuts them short at worst (a
     * renamed folder is removed on a later start). The launch-properties file goes, and the log
     * is completed, when the virtual machine ends.
     *
     * <p>Only what the application needs is done before its main, and the shutdown hook: an
     * application that calls System.exit at once may end the run before the chores' thread
     * (started right before main, on the other core) gets to run at all, and the hook still
     * completes the log then.
     */
    public static Started run(LaunchFile launch, Path appFolder, ClassPathCheck.MainJar mainJar,
            Map<String, String> settings, Path propertiesFile, List<String> userArguments,
            AfterStart afterStart, UpdaterLog log) {
        String version = appFolder.getFileName().toString();
        List<String> classpath = new ArrayList<>();
        for (String entry : launch.classpath) {
            classpath.add(appFolder.resolve(entry).toString());
        }
        List<String> arguments = new ArrayList<>(launch.extraArguments);
        arguments.addAll(userArguments);
        log.info("Starting " + launch.mainClass + " of " + version
                + " in this virtual machine with class path " + classpath + " and arguments "
                + arguments);
        for (Map.Entry<String, String> setting : settings.entrySet()) {
            System.setProperty(setting.getKey(), setting.getValue());
        }
        // As "java -jar" has it: the main jar alone; otherwise the whole class path.
        System.setProperty("java.class.path", mainJar == null
                ? String.join(File.pathSeparator, classpath) : mainJar.path.toString());
        StringBuilder command = new StringBuilder(
                mainJar == null ? launch.mainClass : mainJar.path.toString());
        for (String argument : arguments) {
            command.append(' ').append(argument);
        }
        System.setProperty("sun.java.command", command.toString());

        List<String> fields = new ArrayList<>();
        fields.add(launch.mainClass);
        fields.add(mainJar == null ? "" : mainJar.path.toString());
        fields.add(Integer.toString(classpath.size()));
        fields.addAll(classpath);
        fields.addAll(arguments);
        handOver = fields.toArray(new String[0]);
        started = launch.mainClass + " of " + version;
        chores = new AfterMain(propertiesFile, log, afterStart);
        chores.addShutdownHook();
        chores.start();
        return Started.running();
    }

    /** What the launcher is to start, once; null when nothing was handed over. */
    public static String[] takeHandOver() {
        String[] taken = handOver;
        handOver = null;
        return taken;
    }

    /**
     * The application's main has returned (`thrown` is null) or ended with `thrown`. After a
     * return the chores are waited for: the virtual machine may end with main.
     */
    public static void mainEnded(Throwable thrown) {
        if (chores == null) {
            return;
        }
        if (thrown == null) {
            chores.log.info(started + " returned from main");
        } else {
            chores.log.error(started + " failed: " + thrown);
        }
        chores.mainEnded(thrown == null);
        if (thrown == null) {
            try {
                chores.join();
            } catch (InterruptedException stopped) {
                Thread.currentThread().interrupt();
            }
        }
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
                long deadline = System.currentTimeMillis() + AfterStart.GRACE_MS;
                for (long left = AfterStart.GRACE_MS; !ended && left > 0;
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
}
