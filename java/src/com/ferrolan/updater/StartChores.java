package com.ferrolan.updater;

import com.ferrolan.runtime.LaunchProperties;
import com.ferrolan.runtime.files.LaunchFile;
import com.ferrolan.updater.installed.CleanUp;
import com.ferrolan.updater.log.UpdaterLog;
import com.ferrolan.updater.start.AfterStart;
import com.ferrolan.updater.start.JvmOptions;
import java.io.IOException;
import java.nio.file.Path;
import java.nio.file.Paths;

/**
 * The chores that wait until the application is on its way: recording the updater's options,
 * and removing what earlier runs left (old versions only once the start went well).
 */
final class StartChores extends AfterStart {
    /** The updater's own folders are named after this component. */
    private static final String UPDATER_COMPONENT = "Ferrolan";

    private final LaunchProperties properties;
    private final Path propertiesFile;
    private final Path masterFolder;
    private final Path updaterFolder;
    private final LaunchFile updaterLaunch;
    private final Path runningApp;
    private final UpdaterLog log;

    StartChores(LaunchProperties properties, Path propertiesFile, Path masterFolder,
            Path updaterFolder, LaunchFile updaterLaunch, Path runningApp, UpdaterLog log) {
        this.properties = properties;
        this.propertiesFile = propertiesFile;
        this.masterFolder = masterFolder;
        this.updaterFolder = updaterFolder;
        this.updaterLaunch = updaterLaunch;
        this.runningApp = runningApp;
        this.log = log;
    }

    @Override
    public void run(boolean started) {
        try {
            JvmOptions.recordUpdaterOptions(properties, masterFolder, updaterLaunch, log);
        } catch (IOException unwritable) {
            log.info("Could not record the updater's JVM options: " + unwritable);
        }
        CleanUp.removeStaleProperties(updaterFolder, propertiesFile, log);
        if (!started) {
            return;
        }
        CleanUp.removeLeftoverTrash(masterFolder, log);
        CleanUp.removeOldVersions(masterFolder, properties.getStatic("app_name"), runningApp, log);
        CleanUp.removeOldVersions(masterFolder, UPDATER_COMPONENT, updaterFolder, log);
        String jreName = properties.getStatic("jre_name");
        if (jreName != null) {
            CleanUp.removeOldVersions(masterFolder, jreName,
                    Paths.get(System.getProperty("java.home")), log);
        }
    }
}
