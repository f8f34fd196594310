package com.ferrolan.updater.start;

import com.ferrolan.runtime.LaunchProperties;
import com.ferrolan.runtime.files.FileBytes;
import com.ferrolan.runtime.files.InstalledFolders;
import com.ferrolan.runtime.files.LauncherArguments;
import com.ferrolan.runtime.files.NativeText;
import java.io.IOException;
import java.nio.file.Path;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * The launcher's settings the application finds in system properties, whichever way it starts:
 * the proxy the launcher's downloads went through, the launch-properties file, the application's
 * name, version and folders, the update URL, the launcher and the arguments it was started with
 * (for a restart through it; see {@link LauncherArguments}).
 */
public final class LauncherSettings {
    private LauncherSettings() {
    }

    /**
     * The settings for the application in `appFolder`, by system property name, in order;
     * `userArguments` are the launcher's command-line arguments.
     */
    public static Map<String, String> of(Path appFolder, Path masterFolder,
            LaunchProperties properties, Path propertiesFile, List<String> userArguments)
            throws IOException {
        Map<String, String> settings = new LinkedHashMap<>(proxy(masterFolder));
        settings.put(LaunchProperties.SYSTEM_PROPERTY, propertiesFile.toString());
        settings.put("ferrolan.appName", properties.getStatic("app_name"));
        settings.put("ferrolan.appVersion", Long.toString(InstalledFolders.version(appFolder)));
        settings.put("ferrolan.appFolder", appFolder.toString());
        settings.put("ferrolan.masterFolder", masterFolder.toString());
        String updateUrl = properties.updateUrl();
        if (updateUrl != null) {
            settings.put("ferrolan.updateUrl", updateUrl);
        }
        String launcher = properties.getStatic("launched_from_dynprops");
        if (launcher != null) {
            settings.put("ferrolan.launcher", launcher);
        }
        settings.put(LauncherArguments.PROPERTY, LauncherArguments.encode(userArguments));
        return settings;
    }

    /**
     * The proxy the launcher's downloads went through, from "FLAppsSharedConfig/DetectedProxy":
     * the proxy list, then optionally CR LF and the bypass list. None when the file is missing.
     */
    private static Map<String, String> proxy(Path masterFolder) throws IOException {
        Path file = masterFolder.resolve("FLAppsSharedConfig").resolve("DetectedProxy");
        Map<String, String> settings = new LinkedHashMap<>();
        if (!file.toFile().isFile()) {
            return settings;
        }
        String text = new String(FileBytes.read(file), NativeText.charset());
        int split = text.indexOf("\r\n");
        settings.put("ferrolan.proxy.list", split < 0 ? text : text.substring(0, split));
        if (split >= 0) {
            settings.put("ferrolan.proxy.bypass", text.substring(split + 2));
        }
        return settings;
    }
}
