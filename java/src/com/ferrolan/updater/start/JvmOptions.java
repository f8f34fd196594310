package com.ferrolan.updater.start;

import com.ferrolan.runtime.LaunchProperties;
import com.ferrolan.runtime.files.InstalledFolders;
import com.ferrolan.runtime.files.LaunchFile;
import com.ferrolan.runtime.files.LsoFile;
import com.ferrolan.updater.log.UpdaterLog;
import java.io.IOException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * The virtual machine options of a start: the ones the application's launch file declares, the
 * ones this virtual machine was started with, and whether they match, which decides whether the
 * application can run here or needs a Java process of its own.
 */
public final class JvmOptions {
    private JvmOptions() {
    }

    /**
     * Whether the application can run in this virtual machine: it does not ask for one of its
     * own, and declares the heap sizes and options this one was started with.
     */
    public static boolean fitThisMachine(LaunchFile launch, LaunchFile updaterLaunch,
            LaunchProperties properties) {
        return launch.mustFork == 0 && updaterLaunch != null
                && of(launch).equals(updater(updaterLaunch, properties));
    }

    /** The heap sizes and options a launch file declares, as virtual machine options. */
    static List<String> of(LaunchFile launch) {
        return withHeapSizes(launch, launch.jvmOptions);
    }

    /**
     * The options the launcher started this virtual machine with: the heap sizes of the
     * updater's launch file, then the options last recorded for the runtime (its LSO file) or,
     * with none recorded, the launch file's own.
     */
    static List<String> updater(LaunchFile updaterLaunch, LaunchProperties properties) {
        List<String> recorded = lastSuccessful(properties);
        return withHeapSizes(updaterLaunch,
                recorded.isEmpty() ? updaterLaunch.jvmOptions : recorded);
    }

    /**
     * The JVM options that last worked with this JRE, which the launcher read from its LSO file
     * and passes in the launch properties; empty when none.
     */
    static List<String> lastSuccessful(LaunchProperties properties) {
        List<String> options = new ArrayList<>();
        String count = properties.getStatic("jvm_options_count");
        int n = count == null ? 0 : Integer.parseInt(count.trim());
        for (int i = 0; i < n; i++) {
            String option = properties.getStatic("jvm_options_" + i);
            if (option != null) {
                options.add(option);
            }
        }
        return options;
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

    /**
     * The JRE's LSO file holds the JVM options that last started successfully with it; the
     * launcher starts this updater with them. They are the updater's own options, from its
     * launch file, so an application's options never reach the updater's virtual machine, and
     * each application version runs with the options it declares. Written only when they
     * changed.
     */
    public static void recordUpdaterOptions(LaunchProperties properties, Path masterFolder,
            LaunchFile updaterLaunch, UpdaterLog log) throws IOException {
        if (updaterLaunch == null
                || updaterLaunch.jvmOptions.equals(lastSuccessful(properties))) {
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
}
