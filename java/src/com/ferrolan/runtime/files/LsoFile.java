package com.ferrolan.runtime.files;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.List;

/**
 * The "LastSuccessfulOptions" file of a private JRE: "FLApps/JRE-LastSuccessfulOptions-<JRE
 * folder>" in the master folder. It holds the JVM options an application last started with
 * successfully; the launcher passes them to the next launch instead of the application's own
 * defaults. Layout: the count as decimal text, then each option, every field NUL-terminated.
 */
public final class LsoFile {
    private LsoFile() {
    }

    public static Path path(Path masterFolder, String jreFolderName) {
        return masterFolder.resolve("FLApps").resolve("JRE-LastSuccessfulOptions-" + jreFolderName);
    }

    /** Writes the file through a temporary name, so the launcher never reads half of it. */
    public static void write(Path file, List<String> options) throws IOException {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        LaunchFile.field(out, Integer.toString(options.size()));
        for (String option : options) {
            LaunchFile.field(out, option);
        }
        Files.createDirectories(file.getParent());
        Path part = file.resolveSibling(file.getFileName() + ".part");
        Files.write(part, out.toByteArray());
        Files.move(part, file, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
    }
}
