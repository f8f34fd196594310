package com.ferrolan.updater.start;

import com.ferrolan.runtime.files.LaunchFile;
import com.ferrolan.runtime.files.NativeText;
import com.ferrolan.updater.log.UpdaterLog;
import java.io.File;
import java.io.IOException;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;

/**
 * Starts the application in a Java process of its own, of this runtime, and waits for it to end:
 * as {@code <runtime>/bin/java <options> -jar <main jar>} when its main jar's manifest names
 * its main class and the rest of its class path (so the manifest's attributes apply as under
 * "java -jar"), otherwise as {@code <runtime>/bin/java <options> -cp <class path> <main class>}.
 */
public final class ProcessStart {
    private ProcessStart() {
    }

    /**
     * Starts the application, runs `afterStart` once it has run for the start's grace time (or
     * ended sooner), and returns its exit code once it has ended.
     */
    public static Started run(String appName, LaunchFile launch, Path appFolder,
            ClassPathCheck.MainJar mainJar, Map<String, String> settings,
            List<String> userArguments, AfterStart afterStart, UpdaterLog log)
            throws IOException, InterruptedException {
        List<String> command = command(launch, appFolder, mainJar, settings, userArguments);
        log.info("Starting " + command);
        NativeText.prepareProcessLaunch();
        List<String> processArguments = new ArrayList<>();
        for (String argument : command) {
            processArguments.add(NativeText.forProcessArgument(argument));
        }
        Process app = new ProcessBuilder(processArguments).inheritIO().start();
        log.startWriting();
        boolean ended = app.waitFor(AfterStart.GRACE_MS, TimeUnit.MILLISECONDS);
        afterStart.run(!ended || app.exitValue() == 0);
        int code = app.waitFor();
        log.info(appName + " ended with exit code " + code);
        return Started.ended(code);
    }

    /**
     * The application's command line: its own version's settings, then the user's arguments.
     * Loops rather than a lambda, as everywhere on the way to the application's start (the
     * platform's process start bootstraps lambdas of its own, but the updater adds none).
     */
    private static List<String> command(LaunchFile launch, Path appFolder,
            ClassPathCheck.MainJar mainJar, Map<String, String> settings,
            List<String> userArguments) {
        List<String> command = new ArrayList<>();
        command.add(javaExecutable());
        command.addAll(JvmOptions.of(launch));
        for (Map.Entry<String, String> setting : settings.entrySet()) {
            command.add("-D" + setting.getKey() + "=" + setting.getValue());
        }
        if (mainJar != null && mainJar.holdsTheClassPath) {
            command.add("-jar");
            command.add(mainJar.path.toString());
        } else {
            List<String> classpath = new ArrayList<>();
            for (String entry : launch.classpath) {
                classpath.add(appFolder.resolve(entry).toString());
            }
            if (!classpath.isEmpty()) {
                command.add("-cp");
                command.add(String.join(File.pathSeparator, classpath));
            }
            command.add(launch.mainClass);
        }
        command.addAll(launch.extraArguments);
        command.addAll(userArguments);
        return command;
    }

    private static String javaExecutable() {
        boolean windows = System.getProperty("os.name").startsWith("Windows");
        return Paths.get(System.getProperty("java.home"), "bin", windows ? "java.exe" : "java")
                .toString();
    }
}
