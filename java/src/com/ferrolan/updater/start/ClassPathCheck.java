package com.ferrolan.updater.start;

import com.ferrolan.runtime.files.LaunchFile;
import java.io.File;
import java.io.IOException;
import java.nio.file.Path;
import java.util.jar.Attributes;
import java.util.jar.JarFile;
import java.util.jar.Manifest;

/**
 * Whether a version can start: its class path entries are there and one of them holds its main
 * class. Nothing is loaded: the launcher loads the main class through the system class loader
 * once the updater has handed over, or a process of its own does.
 */
public final class ClassPathCheck {
    private ClassPathCheck() {
    }

    /**
     * The main jar of the version in `folder`: its first class path entry, when that is a jar
     * whose manifest names the launch file's main class (it is then started as "java -jar"
     * starts it, with its manifest's attributes); null otherwise. Throws what keeps the version
     * from starting.
     */
    public static Path mainJar(Path folder, LaunchFile launch) throws StartFailure {
        String version = folder.getFileName().toString();
        if (launch.mainClass.isEmpty()) {
            throw new StartFailure(version + ": its launch file names no main class");
        }
        String classFile = launch.mainClass.replace('.', '/') + ".class";
        boolean found = false;
        Path mainJar = null;
        for (int i = 0; i < launch.classpath.size(); i++) {
            String entry = launch.classpath.get(i);
            File path = folder.resolve(entry).toFile();
            if (path.isDirectory()) {
                found = found || new File(path, classFile).isFile();
                continue;
            }
            if (!path.isFile()) {
                throw new StartFailure(version + ": its class path entry " + entry
                        + " is missing");
            }
            if (found && i > 0) {
                continue;
            }
            try (JarFile jar = new JarFile(path, false)) {
                found = found || jar.getEntry(classFile) != null;
                if (i == 0 && launch.mainClass.equals(mainClassOf(jar.getManifest()))) {
                    mainJar = path.toPath();
                }
            } catch (IOException | SecurityException unreadable) {
                throw new StartFailure(version + ": its class path entry " + entry
                        + " cannot be read: " + unreadable);
            }
        }
        if (!found) {
            throw new StartFailure(version + ": its main class " + launch.mainClass
                    + " is not in its class path " + launch.classpath);
        }
        return mainJar;
    }

    private static String mainClassOf(Manifest manifest) {
        String value = manifest == null ? null
                : manifest.getMainAttributes().getValue(Attributes.Name.MAIN_CLASS);
        return value == null ? null : value.trim();
    }
}
