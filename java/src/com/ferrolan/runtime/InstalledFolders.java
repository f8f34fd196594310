package com.ferrolan.runtime;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Stream;

/**
 * Installed components live in the master folder as "Ferrolan-<name>-<version>-complete";
 * the newest is the one with the highest version. Folders still being written have another
 * name and are never chosen. A name may itself hold "-": the version is the run of digits
 * right before "-complete".
 */
public final class InstalledFolders {
    private InstalledFolders() {
    }

    /** The newest folder of the component, or null. */
    public static Path newest(Path masterFolder, String component) throws IOException {
        List<Path> folders = completeVersions(masterFolder, component);
        return folders.isEmpty() ? null : folders.get(0);
    }

    /** Every complete folder of the component, the newest first. */
    public static List<Path> completeVersions(Path masterFolder, String component)
            throws IOException {
        Pattern name = Pattern.compile("Ferrolan-" + Pattern.quote(component) + "-(\\d+)-complete");
        List<Path> folders = new ArrayList<>();
        try (Stream<Path> entries = Files.list(masterFolder)) {
            for (Path entry : (Iterable<Path>) entries::iterator) {
                if (name.matcher(entry.getFileName().toString()).matches()
                        && Files.isDirectory(entry)) {
                    folders.add(entry);
                }
            }
        }
        folders.sort(Comparator.comparingLong((Path folder) -> version(folder, name)).reversed());
        return folders;
    }

    /** The version in a complete folder's name, or -1 when the name is not one. */
    public static long version(Path folder) {
        Matcher matcher = Pattern.compile("Ferrolan-.*-(\\d+)-complete")
                .matcher(folder.getFileName().toString());
        return matcher.matches() ? parse(matcher.group(1)) : -1;
    }

    private static long version(Path folder, Pattern name) {
        Matcher matcher = name.matcher(folder.getFileName().toString());
        return matcher.matches() ? parse(matcher.group(1)) : -1;
    }

    private static long parse(String digits) {
        try {
            return Long.parseLong(digits);
        } catch (NumberFormatException tooLong) {
            return Long.MAX_VALUE;
        }
    }
}
