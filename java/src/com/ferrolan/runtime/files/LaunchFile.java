package com.ferrolan.runtime.files;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * The launch file "FerrolanLaunch" that every installed application folder carries: NUL-
 * terminated text fields in a fixed order, numbers as decimal text. The fields after the extra
 * arguments depend on the file's version (2 to 6).
 */
public final class LaunchFile {
    public static final String NAME = "FerrolanLaunch";

    public int version;
    public String mainClass = "";
    public String classOnUpdate = "";
    public String appName = "";
    public String osIcns = "";
    public int urlRequired;
    public int maxHeapMb;
    public int initialHeapMb;
    public final List<String> classpath = new ArrayList<>();
    public final List<String> extraArguments = new ArrayList<>();
    public String compatibilityClass = "";
    public String postInstallClass = "";
    public String preUninstallClass = "";
    public final List<String> jvmOptions = new ArrayList<>();
    public int mustFork;

    public static LaunchFile read(Path file) throws IOException {
        Fields in = new Fields(FileBytes.read(file));
        LaunchFile launch = new LaunchFile();
        launch.version = in.number();
        launch.mainClass = in.text();
        launch.classOnUpdate = in.text();
        launch.appName = in.text();
        launch.osIcns = in.text();
        launch.urlRequired = in.number();
        launch.maxHeapMb = in.number();
        launch.initialHeapMb = in.number();
        in.list(launch.classpath);
        in.list(launch.extraArguments);
        if (launch.version >= 3) {
            launch.compatibilityClass = in.text();
        }
        if (launch.version >= 4) {
            launch.postInstallClass = in.text();
            launch.preUninstallClass = in.text();
        }
        if (launch.version >= 5) {
            in.list(launch.jvmOptions);
        }
        if (launch.version >= 6) {
            launch.mustFork = in.number();
        }
        return launch;
    }

    /** Writes the file in the layout of its version. */
    public void write(Path file) throws IOException {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        field(out, Integer.toString(version));
        field(out, mainClass);
        field(out, classOnUpdate);
        field(out, appName);
        field(out, osIcns);
        field(out, Integer.toString(urlRequired));
        field(out, Integer.toString(maxHeapMb));
        field(out, Integer.toString(initialHeapMb));
        list(out, classpath);
        list(out, extraArguments);
        if (version >= 3) {
            field(out, compatibilityClass);
        }
        if (version >= 4) {
            field(out, postInstallClass);
            field(out, preUninstallClass);
        }
        if (version >= 5) {
            list(out, jvmOptions);
        }
        if (version >= 6) {
            field(out, Integer.toString(mustFork));
        }
        Files.write(file, out.toByteArray());
    }

    static void field(ByteArrayOutputStream out, String text) {
        byte[] bytes = text.getBytes(NativeText.charset());
        out.write(bytes, 0, bytes.length);
        out.write(0);
    }

    private static void list(ByteArrayOutputStream out, List<String> entries) {
        field(out, Integer.toString(entries.size()));
        for (String entry : entries) {
            field(out, entry);
        }
    }

    /** Reads NUL-terminated fields one after the other; past the end every field is empty. */
    static final class Fields {
        private final byte[] bytes;
        private int at;

        Fields(byte[] bytes) {
            this.bytes = bytes;
        }

        String text() {
            int start = at;
            while (at < bytes.length && bytes[at] != 0) {
                at++;
            }
            String text = new String(bytes, start, at - start, NativeText.charset());
            if (at < bytes.length) {
                at++;
            }
            return text;
        }

        boolean atEnd() {
            return at >= bytes.length;
        }

        /** Decimal text read the way the launcher reads it: leading digits, 0 for none. */
        int number() {
            String text = text().trim();
            int end = 0;
            if (end < text.length() && (text.charAt(end) == '-' || text.charAt(end) == '+')) {
                end++;
            }
            while (end < text.length() && Character.isDigit(text.charAt(end))) {
                end++;
            }
            try {
                return Integer.parseInt(text.substring(0, end));
            } catch (NumberFormatException e) {
                return 0;
            }
        }

        void list(List<String> entries) {
            int count = number();
            for (int i = 0; i < count && !atEnd(); i++) {
                entries.add(text());
            }
        }
    }
}
