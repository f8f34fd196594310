package com.ferrolan.updater;

import com.ferrolan.runtime.InstalledFolders;
import com.ferrolan.runtime.LaunchFile;
import com.ferrolan.runtime.LaunchProperties;
import com.ferrolan.runtime.LsoFile;
import com.ferrolan.runtime.NativeText;
import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * The updater the launcher starts. It receives the launch-properties file as its first argument,
 * finds the newest installed version of the application in the master folder, starts it with
 * its launch file's settings in a new Java process of the same runtime, and records the JVM
 * options that worked in the JRE's LSO file. The application receives the same launch-properties
 * file first, then its launch file's extra arguments and the rest of the updater's arguments.
 *
 * <p>A real updater would also check the update URL for newer versions; this one only runs
 * what is installed.
 */
public final class Updater {
    /** A start counts as successful when the application is still running after this time. */
    private static final long START_GRACE_MS = 2000;

    private Updater() {
    }

    public static void main(String[] args) throws Exception {
        if (args.length < 1) {
            System.err.println("[Updater] Expected the launch-properties file as first argument");
            System.exit(2);
        }
        LaunchProperties properties = LaunchProperties.read(Paths.get(args[0]));
        Path masterFolder = Paths.get(properties.getStatic("app_dir")).getParent();
        String appName = properties.getStatic("app_name");
        log("Master folder " + masterFolder + ", application " + appName);

        Path appFolder = InstalledFolders.newest(masterFolder, appName);
        if (appFolder == null) {
            log("No installed version of " + appName);
            System.exit(1);
        }
        LaunchFile launch = LaunchFile.read(appFolder.resolve(LaunchFile.NAME));

        List<String> jvmOptions = properties.lastSuccessfulOptions();
        if (jvmOptions.isEmpty()) {
            jvmOptions = launch.jvmOptions;
        }
        List<String> command = new ArrayList<>();
        command.add(javaExecutable());
        if (launch.maxHeapMb > 0) {
            command.add("-Xmx" + launch.maxHeapMb + "m");
        }
        if (launch.initialHeapMb > 0) {
            command.add("-Xms" + launch.initialHeapMb + "m");
        }
        command.addAll(jvmOptions);
        command.addAll(proxyOptions(masterFolder));
        List<String> classpath = new ArrayList<>();
        for (String entry : launch.classpath) {
            classpath.add(appFolder.resolve(entry).toString());
        }
        if (!classpath.isEmpty()) {
            command.add("-cp");
            command.add(String.join(File.pathSeparator, classpath));
        }
        command.add(launch.mainClass);
        command.add(args[0]);
        command.addAll(launch.extraArguments);
        command.addAll(Arrays.asList(args).subList(1, args.length));
        log("Starting " + command);

        NativeText.prepareProcessLaunch();
        List<String> processArguments = new ArrayList<>();
        for (String argument : command) {
            processArguments.add(NativeText.forProcessArgument(argument));
        }
        Process app = new ProcessBuilder(processArguments).inheritIO().start();
        boolean ended = app.waitFor(START_GRACE_MS, TimeUnit.MILLISECONDS);
        if (!ended || app.exitValue() == 0) {
            recordOptions(properties, masterFolder, jvmOptions);
        }
        System.exit(app.waitFor());
    }

    private static void log(String message) {
        System.out.println("[Updater] " + message);
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
        log("Detected proxy " + list);
        options.add("-Dferrolan.proxy.list=" + list);
        if (split >= 0) {
            options.add("-Dferrolan.proxy.bypass=" + text.substring(split + 2));
        }
        return options;
    }

    private static void recordOptions(LaunchProperties properties, Path masterFolder,
            List<String> jvmOptions) throws IOException {
        String jreName = properties.getStatic("jre_name");
        Path jreFolder = InstalledFolders.newest(masterFolder, jreName);
        if (jreFolder == null) {
            return;
        }
        Path lso = LsoFile.path(masterFolder, jreFolder.getFileName().toString());
        LsoFile.write(lso, jvmOptions);
        log("Recorded " + jvmOptions.size() + " JVM options in " + lso);
    }
}
