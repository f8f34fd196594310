package com.ferrolan.runtime.files;

import java.io.IOException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * Installed components live in the master folder as "Ferrolan-<name>-<version>-complete";
 * the newest is the one with the highest version. Folders still being written have another
 * name and are never chosen. A name may itself hold "-": the version is the run of digits
 * right before "-complete".
 */
public final class InstalledFolders {
    private static final String PREFIX = "Ferrolan-";
    private static final String SUFFIX = "-complete";

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
        // Plain string tests rather than a pattern, and java.io's listing rather than a
        // directory stream: this runs on every start, before the application, in a virtual
        // machine that has loaded neither the regular-expression nor the directory-stream
        // classes.
        String prefix = PREFIX + component + "-";
        String[] names = masterFolder.toFile().list();
        if (names == null) {
            throw new IOException("Cannot list the folder " + masterFolder);
        }
        List<Path> folders = new ArrayList<>();
        List<Long> versions = new ArrayList<>();
        for (String name : names) {
            long version = name.startsWith(prefix) ? digitsBeforeSuffix(name, prefix.length())
                    : -1;
            Path entry = version >= 0 ? masterFolder.resolve(name) : null;
            if (entry != null && entry.toFile().isDirectory()) {
                // Newest first: insert before the first older one.
                int at = 0;
                while (at < versions.size() && versions.get(at) >= version) {
                    at++;
                }
                folders.add(at, entry);
                versions.add(at, version);
            }
        }
        return folders;
    }

    /** The version in a complete folder's name, or -1 when the name is not one. */
    public static long version(Path folder) {
        String name = folder.getFileName().toString();
        if (!name.startsWith(PREFIX) || !name.endsWith(SUFFIX)) {
            return -1;
        }
        // The run of digits right before "-complete", after a "-" that ends a non-empty name.
        int end = name.length() - SUFFIX.length();
        int start = end;
        while (start > 0 && isDigit(name.charAt(start - 1))) {
            start--;
        }
        if (start == end || start - 1 < PREFIX.length() || name.charAt(start - 1) != '-') {
            return -1;
        }
        return parse(name.substring(start, end));
    }

    /** The version when `name` is digits from `from` up to "-complete", else -1. */
    private static long digitsBeforeSuffix(String name, int from) {
        int end = name.length() - SUFFIX.length();
        if (end <= from || !name.endsWith(SUFFIX)) {
            return -1;
        }
        for (int i = from; i < end; i++) {
            if (!isDigit(name.charAt(i))) {
                return -1;
            }
        }
        return parse(name.substring(from, end));
    }

    private static boolean isDigit(char c) {
        return c >= '0' && c <= '9';
    }

    private static long parse(String digits) {
        try {
            return Long.parseLong(digits);
        } catch (NumberFormatException tooLong) {
            return Long.MAX_VALUE;
        }
    }
}
