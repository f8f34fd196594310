package com.ferrolan.runtime;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.stream.Stream;

/**
 * Installed components live in the master folder as "Ferrolan-<name>-<version>-complete";
 * the newest is the one with the highest version. Folders still being written have another
 * name and are never chosen.
 */
public final class InstalledFolders {
    private InstalledFolders() {
    }

    /** The newest folder of the component, or null. */
    public static Path newest(Path masterFolder, String component) throws IOException {
        Path best = null;
        long bestVersion = -1;
        try (Stream<Path> entries = Files.list(masterFolder)) {
            for (Path entry : (Iterable<Path>) entries::iterator) {
                String[] parts = entry.getFileName().toString().split("-", 4);
                if (parts.length < 4 || !parts[0].equals("Ferrolan") || !parts[1].equals(component)
                        || !parts[3].equals("complete") || !parts[2].matches("\\d+")) {
                    continue;
                }
                long version = Long.parseLong(parts[2]);
                if (version > bestVersion) {
                    best = entry;
                    bestVersion = version;
                }
            }
        }
        return best;
    }
}
