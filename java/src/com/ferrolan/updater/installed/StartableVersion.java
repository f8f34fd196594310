package com.ferrolan.updater.installed;

import com.ferrolan.runtime.files.InstalledFolders;
import com.ferrolan.runtime.files.LaunchFile;
import com.ferrolan.updater.log.UpdaterLog;
import com.ferrolan.updater.start.ClassPathCheck;
import com.ferrolan.updater.start.StartFailure;
import java.io.IOException;
import java.nio.file.Path;
import java.util.List;

/**
 * The installed version of the application that is to start: the newest, and when it cannot
 * start the one before it, so that a bad release does not break every start until a higher
 * version ships. A version can start when its launch file can be read, its class path entries
 * exist and its main class is in them.
 */
public final class StartableVersion {
    /** Its installed folder. */
    public final Path folder;
    /** Its launch file. */
    public final LaunchFile launch;
    /** Its main jar, or null when it starts from a plain class path ({@link ClassPathCheck}). */
    public final ClassPathCheck.MainJar mainJar;

    private StartableVersion(Path folder, LaunchFile launch, ClassPathCheck.MainJar mainJar) {
        this.folder = folder;
        this.launch = launch;
        this.mainJar = mainJar;
    }

    /**
     * The version of `appName` in the master folder that can start. Logs why the newest cannot,
     * and throws when none can, or none is installed.
     */
    public static StartableVersion find(Path masterFolder, String appName, UpdaterLog log)
            throws StartFailure, IOException {
        List<Path> installed = InstalledFolders.completeVersions(masterFolder, appName);
        if (installed.isEmpty()) {
            throw new StartFailure("No installed version of " + appName + " was found in "
                    + masterFolder);
        }
        String firstProblem = null;
        for (Path candidate : installed.subList(0, Math.min(2, installed.size()))) {
            try {
                LaunchFile read = LaunchFile.read(candidate.resolve(LaunchFile.NAME));
                return new StartableVersion(candidate, read,
                        ClassPathCheck.mainJar(candidate, read));
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
        throw new StartFailure(appName + " cannot start: " + firstProblem);
    }
}
