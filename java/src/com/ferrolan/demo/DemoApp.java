package com.ferrolan.demo;

import com.ferrolan.runtime.LaunchProperties;
import com.ferrolan.runtime.update.CheckResult;
import com.ferrolan.runtime.update.DownloadResult;
import com.ferrolan.runtime.update.Updates;
import java.io.IOException;
import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.TreeSet;

/**
 * A demo application: prints what it runs with, what it received and the launcher's settings.
 * Started by the updater it finds those through {@link LaunchProperties#current()}; run by the
 * launcher directly in the updater's place, its first argument is the launch-properties file.
 * With the system property "ferrolan.demo.report" set, the same text is also written into that
 * file; with "ferrolan.demo.exit" set, a thread that outlives main ends the demo a moment later
 * through System.exit with that code; with "ferrolan.demo.exitInMain" set, main calls
 * System.exit with that code before anything else; with "ferrolan.demo.fail" set, main throws.
 *
 * <p>Among its arguments, "--update-demo" has it go through the update API after its report,
 * one line each: "update running version: N", "update check: ...", "update progress: P" while
 * it downloads, "update download: ..." and "update ready: true|false" (the results' texts, see
 * {@link CheckResult#toString()} and {@link DownloadResult#toString()}); without a launcher,
 * "update api: not started by the launcher". "--restart-demo" (after "--update-demo" or alone)
 * prints "update ready: ..." too, then restarts when a newer version is installed ("update
 * restart: restarting") and only then ("update restart: nothing to restart into"), so that the
 * version it restarts into, which gets the same arguments, does not restart again.
 */
public final class DemoApp {
    private DemoApp() {
    }

    public static void main(String[] args) throws IOException {
        String exitNow = System.getProperty("ferrolan.demo.exitInMain");
        if (exitNow != null) {
            System.exit(Integer.parseInt(exitNow));
        }
        StringBuilder out = new StringBuilder();
        line(out, "java.home", System.getProperty("java.home"));
        line(out, "java.version", System.getProperty("java.version"));
        line(out, "command", ProcessHandle.current().info().command().orElse("?"));
        line(out, "classpath", System.getProperty("java.class.path"));
        for (String option : ManagementFactory.getRuntimeMXBean().getInputArguments()) {
            line(out, "jvm option", option);
        }
        for (String name : new TreeSet<>(System.getProperties().stringPropertyNames())) {
            if (name.startsWith("ferrolan.")) {
                line(out, "system property " + name, System.getProperty(name));
            }
        }
        line(out, "class loader", DemoApp.class.getClassLoader().getClass().getName());
        line(out, "system class loader sees it",
                String.valueOf(DemoApp.class.getClassLoader() == ClassLoader.getSystemClassLoader()));
        line(out, "system class loader sees the updater",
                String.valueOf(ClassLoader.getSystemClassLoader()
                        .getResource("com/ferrolan/updater/Updater.class") != null));
        StackTraceElement[] frames = new Throwable().getStackTrace();
        line(out, "bottom frame", frames[frames.length - 1].getClassName());
        line(out, "sun.java.command", System.getProperty("sun.java.command"));
        line(out, "code source",
                String.valueOf(DemoApp.class.getProtectionDomain().getCodeSource().getLocation()));
        for (int i = 0; i < args.length; i++) {
            line(out, "argument " + i, args[i]);
        }
        LaunchProperties properties = LaunchProperties.current();
        if (properties == null && args.length > 0 && Files.isRegularFile(Paths.get(args[0]))) {
            properties = LaunchProperties.read(Paths.get(args[0]));
        }
        if (properties != null) {
            for (Map.Entry<String, String> entry : properties.entries()) {
                line(out, "property " + entry.getKey(), entry.getValue());
            }
        }
        System.out.print(out);
        String report = System.getProperty("ferrolan.demo.report");
        if (report != null) {
            Files.write(Paths.get(report + ".part"), out.toString().getBytes(StandardCharsets.UTF_8));
            Files.move(Paths.get(report + ".part"), Paths.get(report));
        }
        List<String> arguments = Arrays.asList(args);
        if (arguments.contains("--update-demo") || arguments.contains("--restart-demo")) {
            updateDemo(arguments.contains("--update-demo"), arguments.contains("--restart-demo"));
        }
        if (System.getProperty("ferrolan.demo.fail") != null) {
            throw new IllegalStateException("the demo was asked to fail");
        }
        String exit = System.getProperty("ferrolan.demo.exit");
        if (exit != null) {
            // From a thread that outlives main, as a program with a window ends.
            Thread ender = new Thread(() -> {
                try {
                    Thread.sleep(300);
                } catch (InterruptedException ignored) {
                    Thread.currentThread().interrupt();
                }
                System.exit(Integer.parseInt(exit));
            }, "demo-exit");
            ender.start();
        }
    }

    /** The update API from the command line, for the end-to-end tests. */
    private static void updateDemo(boolean update, boolean restart) {
        Updates updates = Updates.current();
        if (updates == null) {
            System.out.println("update api: not started by the launcher");
            return;
        }
        try {
            if (update) {
                System.out.println("update running version: " + updates.runningVersion());
                System.out.println("update check: " + updates.check());
                DownloadResult download = updates.download(
                        percent -> System.out.println("update progress: " + percent));
                System.out.println("update download: " + download);
            }
            boolean ready = updates.isUpdateReady();
            System.out.println("update ready: " + ready);
            if (restart && ready) {
                System.out.println("update restart: restarting");
                System.out.flush();
                updates.restart();
            } else if (restart) {
                System.out.println("update restart: nothing to restart into");
            }
        } catch (InterruptedException stopped) {
            Thread.currentThread().interrupt();
        } catch (IOException cannotRestart) {
            System.out.println("update restart: failed " + cannotRestart.getMessage());
        }
    }

    private static void line(StringBuilder out, String name, String value) {
        out.append(name).append(": ").append(value).append('\n');
    }
}
