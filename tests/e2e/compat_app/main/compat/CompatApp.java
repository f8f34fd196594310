package compat;

import compat.api.Greeter;
import java.io.BufferedReader;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.sql.Driver;
import java.sql.DriverManager;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.ResourceBundle;
import java.util.ServiceLoader;

/**
 * Reports what a program sees of the way it was started, one "name: value" line each on
 * standard output, so that a start through "java -jar" and one through the launcher can be
 * compared line by line. Then it ends as a program with a window does: main returns, a
 * non-daemon thread runs on and calls System.exit, and a shutdown hook runs last. Given "throw"
 * as its first argument, main throws instead.
 */
public final class CompatApp {
    private CompatApp() {
    }

    public static void main(String[] args) throws Exception {
        if (args.length > 0 && args[0].equals("throw")) {
            throw new IllegalStateException("the compatibility application was asked to throw");
        }
        ClassLoader system = ClassLoader.getSystemClassLoader();
        report("main class loader is the system class loader",
                CompatApp.class.getClassLoader() == system);
        report("context class loader is the system class loader",
                Thread.currentThread().getContextClassLoader() == system);
        report("library class by name through the system class loader",
                Class.forName("compat.lib.LibGreeter", false, system).getName());
        report("services through the context class loader", greeters(ServiceLoader.load(Greeter.class)));
        report("services through the system class loader",
                greeters(ServiceLoader.load(Greeter.class, system)));
        report("protocol handler from java.protocol.handler.pkgs", read(new URL("compat:hello")));
        report("JDBC drivers", drivers());
        report("resource bundle", ResourceBundle.getBundle("compat.lib.Messages").getString("greeting"));
        report("Add-Opens java.base/java.lang",
                Object.class.getModule().isOpen("java.lang", CompatApp.class.getModule()));
        report("Add-Exports java.base/jdk.internal.misc",
                Object.class.getModule().isExported("jdk.internal.misc", CompatApp.class.getModule()));
        report("Launcher-Agent-Class", System.getProperty("compat.agent", "did not run"));
        report("class com.ferrolan.updater.Updater",
                Class.forName("com.ferrolan.updater.Updater").getField("WHOSE").get(null));
        report("java.class.path", System.getProperty("java.class.path"));
        report("sun.java.command", System.getProperty("sun.java.command"));
        report("user.dir", System.getProperty("user.dir"));
        StackTraceElement[] frames = new Throwable().getStackTrace();
        report("bottom frame of the main thread", frames[frames.length - 1].getClassName());
        report("arguments", String.join(" | ", args));
        report("standard input", new BufferedReader(
                new InputStreamReader(System.in, StandardCharsets.UTF_8)).readLine());
        System.err.println("standard error: a line from the application");
        Runtime.getRuntime().addShutdownHook(new Thread(() -> System.out.println("shutdown hook: ran")));
        Thread worker = new Thread(() -> {
            try {
                Thread.sleep(300);
            } catch (InterruptedException stopped) {
                return;
            }
            System.out.println("non-daemon thread: ran after main, ends the run with 7");
            System.exit(7);
        });
        worker.start();
        System.out.println("main: returned");
    }

    private static void report(String name, Object value) {
        System.out.println(name + ": " + value);
    }

    private static String greeters(ServiceLoader<Greeter> loader) {
        List<String> greetings = new ArrayList<>();
        for (Greeter greeter : loader) {
            greetings.add(greeter.greet());
        }
        Collections.sort(greetings);
        return greetings.toString();
    }

    private static String read(URL url) throws Exception {
        try (InputStream in = url.openStream()) {
            return new String(in.readAllBytes(), StandardCharsets.UTF_8);
        }
    }

    private static String drivers() {
        List<String> names = new ArrayList<>();
        for (Driver driver : Collections.list(DriverManager.getDrivers())) {
            if (driver.getClass().getName().startsWith("compat.")) {
                names.add(driver.getClass().getName());
            }
        }
        return names.toString();
    }
}
