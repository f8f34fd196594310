package com.ferrolan.runtime.files;

import java.io.FileInputStream;
import java.io.IOException;
import java.nio.file.Path;

/**
 * Whole small files, read through java.io. The updater reads a few files before the application
 * starts, and a start must not cost more than one through "java": Files.readAllBytes goes
 * through a file channel, whose classes and native libraries a new virtual machine would load
 * and initialise for it, where FileInputStream is ready from the start.
 */
public final class FileBytes {
    private FileBytes() {
    }

    /** The bytes of `file`; an IOException when it cannot be opened or read. */
    public static byte[] read(Path file) throws IOException {
        try (FileInputStream in = new FileInputStream(file.toFile())) {
            return in.readAllBytes();
        }
    }
}
