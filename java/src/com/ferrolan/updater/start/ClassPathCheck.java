package com.ferrolan.updater.start;

import com.ferrolan.runtime.files.LaunchFile;
import java.io.File;
import java.io.IOException;
import java.nio.file.Path;
import java.util.HashSet;
import java.util.Set;
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

    /** A version's main jar. */
    public static final class MainJar {
        /** Its path. */
        public final Path path;
        /**
         * Whether its manifest's Class-Path names every other entry of the version's class path,
         * so that "java -jar" with it alone finds every class.
         */
        public final boolean holdsTheClassPath;
        /**
         * Whether its manifest names a SplashScreen-Image, which only the "java" command shows
         * (while it creates the virtual machine).
         */
        public final boolean hasSplashScreen;

        MainJar(Path path, boolean holdsTheClassPath, boolean hasSplashScreen) {
            this.path = path;
            this.holdsTheClassPath = holdsTheClassPath;
            this.hasSplashScreen = hasSplashScreen;
        }
    }

    /**
     * The main jar of the version in `folder`: its first class path entry, when that is a jar
     * whose manifest names the launch file's main class (it is then started as "java -jar"
     * starts it, with its manifest's attributes); null otherwise. Throws what keeps the version
     * from starting.
     */
    public static MainJar mainJar(Path folder, LaunchFile launch) throws StartFailure {
        String version = folder.getFileName().toString();
        if (launch.mainClass.isEmpty()) {
            throw new StartFailure(version + ": its launch file names no main class");
        }
        String classFile = launch.mainClass.replace('.', '/') + ".class";
        boolean found = false;
        MainJar mainJar = null;
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
                Manifest manifest = i == 0 ? jar.getManifest() : null;
                if (manifest != null && launch.mainClass.equals(mainClassOf(manifest))) {
                    mainJar = new MainJar(path.toPath(), holdsTheClassPath(folder, launch,
                            path.toPath(), manifest), manifest.getMainAttributes()
                                    .getValue("SplashScreen-Image") != null);
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

    /** Whether the manifest's Class-Path names every class path entry after the first. */
    private static boolean holdsTheClassPath(Path folder, LaunchFile launch, Path jar,
            Manifest manifest) {
        String classPath = manifest.getMainAttributes().getValue(Attributes.Name.CLASS_PATH);
        Set<Path> named = new HashSet<>();
        if (classPath != null) {
            // Split by hand: a regular expression would cost the start its machinery.
            int at = 0;
            while (at < classPath.length()) {
                int end = classPath.indexOf(' ', at);
                end = end < 0 ? classPath.length() : end;
                if (end > at) {
                    named.add(jar.getParent().resolve(classPath.substring(at, end)).normalize());
                }
                at = end + 1;
            }
        }
        for (int i = 1; i < launch.classpath.size(); i++) {
            if (!named.contains(folder.resolve(launch.classpath.get(i)).normalize())) {
                return false;
            }
        }
        return true;
    }

    private static String mainClassOf(Manifest manifest) {
        String value = manifest == null ? null
                : manifest.getMainAttributes().getValue(Attributes.Name.MAIN_CLASS);
        return value == null ? null : value.trim();
    }
}
