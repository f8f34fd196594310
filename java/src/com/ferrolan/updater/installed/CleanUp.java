package com.ferrolan.updater.installed;

import com.ferrolan.runtime.files.InstalledFolders;
import com.ferrolan.updater.log.UpdaterLog;
import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Comparator;
import java.util.List;
import java.util.stream.Stream;

/**
 * Removes what earlier runs left in the master folder: installed versions older than the one
 * before the running one, folders an earlier clean-up renamed but could not delete, and the
 * launch-properties files of runs that were killed. Runs once the application is on its way;
 * what cannot go yet stays for a later start.
 */
public final class CleanUp {
    /** Launch-properties files left behind by runs that were killed are removed after a day. */
    private static final long STALE_PROPERTIES_MS = 24L * 60 * 60 * 1000;

    private CleanUp() {
    }

    /**
     * Launch-properties files of earlier runs that were killed before they could remove them.
     * Listed through java.io, as the other chores of every start: a stream over a directory
     * would bootstrap the lambda machinery, tens of milliseconds in a new virtual machine.
     */
    public static void removeStaleProperties(Path folder, Path current, UpdaterLog log) {
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
    public static void removeOldVersions(Path masterFolder, String component, Path running,
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
    public static void removeLeftoverTrash(Path masterFolder, UpdaterLog log) {
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
