package com.ferrolan.runtime;

import com.ferrolan.runtime.files.FileBytes;
import com.ferrolan.runtime.files.NativeText;
import java.io.IOException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Map;

/**
 * The launch-properties file the launcher passes to the updater as its first argument: keys and values
 * alternating, each followed by a NUL byte except the very last value. Keys start with
 * "flstat_" (settings of the launcher build) or "fldyna_" (settings of this download). An empty
 * value is written as the single byte 0x04. A key may occur more than once; the last occurrence
 * is the one that counts.
 */
public final class LaunchProperties {
    /**
     * The system property through which an application started by the updater finds this
     * file; see {@link #current()}.
     */
    public static final String SYSTEM_PROPERTY = "ferrolan.launchProperties";
    /** The prefix of the launcher build's settings. */
    public static final String STATIC = "flstat_";
    /** The prefix of this download's settings (its Params). */
    public static final String DYNAMIC = "fldyna_";
    private static final String EMPTY_VALUE = "\u0004";

    private final List<Map.Entry<String, String>> entries;

    private LaunchProperties(List<Map.Entry<String, String>> entries) {
        this.entries = entries;
    }

    /**
     * Reads a launch-properties file, such as the first argument of a main class the launcher
     * starts in the updater's place. The launcher writes 8-bit text in the system code page.
     */
    public static LaunchProperties read(Path file) throws IOException {
        return parse(new String(FileBytes.read(file), NativeText.charset()));
    }

    /**
     * The launch properties of the running application: the file named by the system property
     * "ferrolan.launchProperties", which the updater sets. Null when the application was not
     * started by the updater or the file is gone (the updater removes it when it ends).
     */
    public static LaunchProperties current() {
        String file = System.getProperty(SYSTEM_PROPERTY);
        if (file == null || file.isEmpty()) {
            return null;
        }
        try {
            return read(Path.of(file));
        } catch (IOException gone) {
            return null;
        }
    }

    static LaunchProperties parse(String content) {
        List<Map.Entry<String, String>> entries = new ArrayList<>();
        if (!content.isEmpty()) {
            String[] strings = content.split("\u0000", -1);
            for (int i = 0; i + 1 < strings.length; i += 2) {
                String value = strings[i + 1].equals(EMPTY_VALUE) ? "" : strings[i + 1];
                entries.add(Map.entry(strings[i], value));
            }
        }
        return new LaunchProperties(entries);
    }

    /** The last value of the key, or null. */
    public String get(String key) {
        String value = null;
        for (Map.Entry<String, String> entry : entries) {
            if (entry.getKey().equals(key)) {
                value = entry.getValue();
            }
        }
        return value;
    }

    /** The last value of the build's setting `name` ("app_name" for "flstat_app_name"), or null. */
    public String getStatic(String name) {
        return get(STATIC + name);
    }

    /** The last value of the download's setting `name` (a Params key), or null. */
    public String getDynamic(String name) {
        return get(DYNAMIC + name);
    }

    /** Every entry in file order. */
    public List<Map.Entry<String, String>> entries() {
        return Collections.unmodifiableList(entries);
    }

    /**
     * The update URL in force: the dynamic one when the build asks for it with "D", else the
     * build's own.
     */
    public String updateUrl() {
        String url = getStatic("update_url");
        return "D".equals(url) ? getDynamic("update_url") : url;
    }
}
