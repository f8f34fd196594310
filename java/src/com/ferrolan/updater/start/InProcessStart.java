package com.ferrolan.updater.start;

import com.ferrolan.runtime.files.LaunchFile;
import com.ferrolan.updater.log.UpdaterLog;
import java.io.File;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;

/**
 * Runs the application in this virtual machine: its classes in their {@link ApplicationLoader},
 * the launcher's settings as system properties, its {@code main} on this thread. The run ends as
 * under "java": when main has returned and the application's last non-daemon thread has ended,
 * or through System.exit; an exception out of main is printed and the exit code is 1.
 */
public final class InProcessStart {
    private InProcessStart() {
    }

    /**
     * Runs `main`. The chores after the start run on a daemon thread once the application has
     * run for the start's grace time or its main returned, so an application that calls
     * System.exit cuts them short at worst (a renamed folder is removed on a later start). The
     * launch-properties file goes, and the log is completed, when the virtual machine ends.
     *
     * <p>Only what the application needs is done before its main, and the shutdown hook: an
     * application that calls System.exit at once may end the run before the chores' thread
     * (started right before main, on the other core) gets to run at all, and the hook still
     * completes the log then.
     */
    public static Started run(LaunchFile launch, Path appFolder, Method main,
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
