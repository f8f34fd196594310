package com.ferrolan.updater.start;

import com.ferrolan.runtime.files.LaunchFile;
import java.io.IOException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Path;
import java.security.CodeSource;
import java.security.PermissionCollection;
import java.security.Permissions;
import java.util.ArrayList;
import java.util.List;

/**
 * The application's class loader: its class path, beside the platform's classes, so the
 * updater's classes stay out of its way. Without a security manager no permission is ever
 * checked, so its classes get an empty set: working out URLClassLoader's file permissions would
 * load and initialise the security configuration, milliseconds before the application's main
 * that a start through "java" does not spend.
 */
public final class ApplicationLoader extends URLClassLoader {
    static {
        ClassLoader.registerAsParallelCapable();
    }

    private ApplicationLoader(URL[] classpath) {
        super(classpath, ClassLoader.getPlatformClassLoader());
    }

    @Override
    @SuppressWarnings("removal")
    protected PermissionCollection getPermissions(CodeSource source) {
        return System.getSecurityManager() == null ? new Permissions()
                : super.getPermissions(source);
    }

    /**
     * The main method of the application in `folder`, loaded through a class loader of its own
     * over its class path. Throws what keeps the version from starting: its jars must be there,
     * and its main class must be in them with a public static void main(String[]).
     */
    public static Method loadMain(Path folder, LaunchFile launch) throws StartFailure {
        String version = folder.getFileName().toString();
        if (launch.mainClass.isEmpty()) {
            throw new StartFailure(version + ": its launch file names no main class");
        }
        List<URL> urls = new ArrayList<>();
        for (String entry : launch.classpath) {
            Path jar = folder.resolve(entry);
            if (!jar.toFile().exists()) {
                throw new StartFailure(version + ": its class path entry " + entry
                        + " is missing");
            }
            try {
                urls.add(jar.toUri().toURL());
            } catch (IOException malformed) {
                throw new StartFailure(version + ": its class path entry " + entry
                        + " is not a valid path");
            }
        }
        URLClassLoader loader = new ApplicationLoader(urls.toArray(new URL[0]));
        String problem;
        try {
            Class<?> mainClass = Class.forName(launch.mainClass, false, loader);
            Method main = mainClass.getMethod("main", String[].class);
            if (Modifier.isStatic(main.getModifiers())) {
                return main;
            }
            problem = version + ": " + launch.mainClass + ".main is not static";
        } catch (ClassNotFoundException | NoClassDefFoundError missing) {
            problem = version + ": its main class " + launch.mainClass
                    + " is not in its class path " + launch.classpath;
        } catch (NoSuchMethodException noMain) {
            problem = version + ": " + launch.mainClass + " has no main(String[]) method";
        } catch (LinkageError | SecurityException broken) {
            problem = version + ": its main class " + launch.mainClass + " cannot be loaded: "
                    + broken;
        }
        closeLoader(loader);
        throw new StartFailure(problem);
    }

    /** Lets go of the jars behind a main method that will not run in this machine. */
    public static void closeLoaderOf(Method main) {
        ClassLoader loader = main.getDeclaringClass().getClassLoader();
        if (loader instanceof URLClassLoader) {
            closeLoader((URLClassLoader) loader);
        }
    }

    private static void closeLoader(URLClassLoader loader) {
        try {
            loader.close();
        } catch (IOException ignored) {
            // Its jars stay open until the loader is collected; nothing else depends on it.
        }
    }
}
