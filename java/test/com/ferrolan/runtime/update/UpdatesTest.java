package com.ferrolan.runtime.update;

import com.ferrolan.runtime.files.LaunchFile;
import com.ferrolan.runtime.files.LauncherArguments;
import com.ferrolan.runtime.files.NativeText;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.Comparator;
import java.util.List;
import java.util.Properties;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;

/**
 * The update API against stand-in launchers: POSIX shell scripts that print what a launcher
 * answers (and what it should not), record the arguments they got, or never end. The last group
 * runs the updater as a Java process, which starts the demo application in one of its own; the
 * demo goes through check, download and restart, and the restarted launcher must get exactly
 * the user's arguments. Prints "PASS: " when every check held.
 *
 * <p>System properties: "ferrolan.test.updaterJar" and "ferrolan.test.demoJar". Run it with a
 * UTF-8 locale, so that arguments outside ASCII can reach a child process at all.
 */
final class UpdatesTest {
    private static final List<String> failures = new ArrayList<>();
    private static int checks;
    private static Path root;

    public static void main(String[] args) throws Exception {
        root = Files.createTempDirectory("ferrolan-update-test");
        try {
            argumentsComeBackExactly();
            checkReadsTheFinalLineAndSkipsTheRest();
            downloadReportsProgressThenItsOutcome();
            launchersWithoutAnAnswerFail();
            anInterruptOrAFailingListenerEndsTheLauncher();
            theRunsLauncherAnswersAndTheInstalledCopyRestarts();
            anUpdateIsReadyWhenANewerCompleteFolderExists();
            theUserArgumentsReachTheRestartedLauncherThroughTheUpdater();
        } finally {
            delete(root);
        }
        if (!failures.isEmpty()) {
            for (String failure : failures) {
                System.out.println("FAILED: " + failure);
            }
            System.exit(1);
        }
        System.out.println("PASS: " + checks + " checks");
    }

    static void argumentsComeBackExactly() {
        List<List<String>> cases = Arrays.asList(
                Collections.<String>emptyList(),
                Arrays.asList(""),
                Arrays.asList("", "", "x", ""),
                Arrays.asList("two words", " leading", "trailing ", "  ", "tab\there\nnewline"),
                Arrays.asList("100%", "%", "%25", "%%41", "a+b", "-Dx=y=z"),
                Arrays.asList("\"quoted\"", "it's", "back\\slash\\", "C:\\Program Files\\"),
                Arrays.asList("é", "日本語", "𝄞 clef", "\u00a0nbsp"));
        for (List<String> arguments : cases) {
            String value = LauncherArguments.encode(arguments);
            expectEquals(arguments, LauncherArguments.decode(value), "round trip of " + arguments);
            // Plain ASCII without quotes or backslashes survives a Windows command line and a
            // process launcher that writes arguments in some other charset.
            boolean plain = true;
            for (char c : value.toCharArray()) {
                plain &= c >= ' ' && c < 0x7f && c != '"' && c != '\\';
            }
            expect(plain, "the value " + value + " is plain ASCII");
        }
        expectEquals(Arrays.asList("a", "b c"), LauncherArguments.decode("  a   b%20c "),
                "runs of blanks between arguments");
        for (String malformed : new String[] {"%4", "a%zz", "%C3", "%%"}) {
            try {
                LauncherArguments.decode(malformed);
                expect(false, "decoding " + malformed + " should fail");
            } catch (IllegalArgumentException expected) {
                checks++;
            }
        }
    }

    static void checkReadsTheFinalLineAndSkipsTheRest() throws Exception {
        Path record = root.resolve("check-arguments");
        String[][] cases = {
            // Log lines first, a mention that does not start a line, CR LF, leading zeros.
            {"echo 'Starting'; echo 'log: FLUPDATE available 7';"
                + " printf 'FLUPDATE available 00000000012\\r\\n'", "available 12"},
            // Only the first final line counts; a malformed one is no answer; progress is none.
            {"echo 'FLUPDATE available soon'; echo 'FLUPDATE progress 5';"
                + " echo 'FLUPDATE none offline'; echo 'FLUPDATE available 3'", "none offline"},
            {"echo 'FLUPDATE none brand-new-reason'", "none other (brand-new-reason)"},
        };
        for (String[] c : cases) {
            Files.deleteIfExists(record);
            Updates updates = updatesWith(
                    script("check", "printf '%s\\n' \"$@\" >'" + record + "'\n" + c[0]));
            expectEquals(c[1], updates.check().toString(), c[0]);
            expectEquals("FLUPDATE_CHECK\n", read(record), "the check's command line");
        }
        // The launcher's words, each a reason of its own.
        List<NoUpdateReason> reasons = new ArrayList<>();
        for (String word : new String[] {"up-to-date", "offline", "expired", "not-rolled-out",
                "refused", "no-update-folder"}) {
            reasons.add(updatesWith(script("none", "echo 'FLUPDATE none " + word + "'")).check()
                    .reason());
        }
        expectEquals(Arrays.asList(NoUpdateReason.UP_TO_DATE, NoUpdateReason.OFFLINE,
                NoUpdateReason.EXPIRED, NoUpdateReason.NOT_ROLLED_OUT, NoUpdateReason.REFUSED,
                NoUpdateReason.NO_UPDATE_FOLDER), reasons, "the reasons");
    }

    static void downloadReportsProgressThenItsOutcome() throws Exception {
        Updates progressing = updatesWith(script("download",
                "[ \"$*\" = FLUPDATE_DOWNLOAD ] || exit 9\n"
                + "echo 'FLUPDATE progress 0'; echo 'noise'; echo 'FLUPDATE progress 50';"
                + " echo 'FLUPDATE progress half'; echo 'FLUPDATE progress 250';"
                + " echo 'FLUPDATE ready 3'; echo 'FLUPDATE progress 99'"));
        List<Integer> seen = new ArrayList<>();
        DownloadResult ready = progressing.download(seen::add);
        expectEquals("ready 3", ready.toString(), "a finished download");
        expectEquals(Arrays.asList(0, 50, 100), seen, "progress, bounded, up to the final line");
        String[][] cases = {
            {"echo 'FLUPDATE failed disk full: 3 bytes left  '", "failed disk full: 3 bytes left"},
            {"echo 'FLUPDATE none expired'", "none expired"},
            // A check's answer is none to a download.
            {"echo 'FLUPDATE available 3'",
                "none launcher-failed (the launcher ended without an answer)"},
        };
        for (String[] c : cases) {
            DownloadResult result = updatesWith(script("download", c[0])).download(null);
            expectEquals(c[1], result.toString(), c[0]);
        }
    }

    static void launchersWithoutAnAnswerFail() throws Exception {
        Path notExecutable = script("plain", "echo 'FLUPDATE available 3'");
        Files.setPosixFilePermissions(notExecutable, PosixFilePermissions.fromString("rw-r--r--"));
        Object[][] cases = {
            {updatesWith(script("crash",
                    "echo 'FLUPDATE progress 5'; echo 'FLUPDATEavailable 3'; exit 3")),
                "exit code 3"},
            {updatesWith(script("lower", "echo 'flupdate available 3'")),
                "ended without an answer"},
            {updatesWith(notExecutable), "cannot run"},
            {updatesWith(root.resolve("no such launcher")), "no launcher found"},
        };
        for (Object[] c : cases) {
            Updates updates = (Updates) c[0];
            CheckResult check = updates.check();
            DownloadResult download = updates.download(null);
            expect(check.reason() == NoUpdateReason.LAUNCHER_FAILED
                    && check.detail().contains((String) c[1]), "check: " + check);
            expect(download.reason() == NoUpdateReason.LAUNCHER_FAILED
                    && download.detail().contains((String) c[1]), "download: " + download);
        }
    }

    static void anInterruptOrAFailingListenerEndsTheLauncher() throws Exception {
        Path pidFile = root.resolve("hanging.pid");
        Updates hanging = updatesWith(script("hanging",
                "echo $$ >'" + pidFile + "'; echo 'FLUPDATE progress 10'; exec sleep 120"));
        try {
            hanging.download(percent -> Thread.currentThread().interrupt());
            expect(false, "an interrupted download returned");
        } catch (InterruptedException expected) {
            expect(!Thread.interrupted(), "the interrupt was left set besides its exception");
        }
        expectEnded(pidFile, "after an interrupt");
        try {
            hanging.download(percent -> {
                throw new IllegalStateException("the listener failed");
            });
            expect(false, "a download whose listener failed returned");
        } catch (IllegalStateException expected) {
            checks++;
        }
        expectEnded(pidFile, "after the listener failed");
    }

    static void theRunsLauncherAnswersAndTheInstalledCopyRestarts() throws Exception {
        Path master = Files.createDirectories(root.resolve("choice master"));
        Path record = root.resolve("restarted");
        // Each answers a check with a version of its own, and records how anything else ran it.
        String recording = "[ \"$*\" = FLUPDATE_CHECK ] || { printf '%s\\n' \"$0\" \"$@\" >'"
                + record + ".part'; mv '" + record + ".part' '" + record
                + "'; exit; }\necho 'FLUPDATE available ";
        Path own = script("own", recording + "5'");
        Path copy = master.resolve("Demo App");
        Files.move(script("copy", recording + "6'"), copy);
        Properties settings = settings(master, "Demo App", "2", own);
        settings.setProperty(LauncherArguments.PROPERTY,
                LauncherArguments.encode(Arrays.asList("doc 1.txt", "")));

        expectEquals(5L, Updates.from(settings).check().version(), "the run's launcher answers");
        expectRestart(Updates.from(settings), record, copy + "\ndoc 1.txt\n\n",
                "the copy restarts");
        Files.delete(copy);
        expectRestart(Updates.from(settings), record, own + "\ndoc 1.txt\n\n",
                "without the copy, the run's launcher restarts");
        settings.setProperty("ferrolan.launcher", root.resolve("gone").toString());
        try {
            Updates.from(settings).startLauncher();
            expect(false, "a restart without a launcher started something");
        } catch (IOException expected) {
            checks++;
        }
        Files.move(script("copy", recording + "6'"), copy);
        expectEquals(6L, Updates.from(settings).check().version(),
                "a gone launcher, the copy answers");
        settings.setProperty(LauncherArguments.PROPERTY, "%G1");
        try {
            Updates.from(settings).startLauncher();
            expect(false, "a restart with unreadable arguments started something");
        } catch (IOException expected) {
            checks++;
        }
    }

    static void anUpdateIsReadyWhenANewerCompleteFolderExists() throws Exception {
        Path master = Files.createDirectories(root.resolve("ready master"));
        Path running =
                Files.createDirectories(master.resolve("Ferrolan-Demo-00000000002-complete"));
        Properties settings = settings(master, "Demo", "2", null);
        Files.createDirectories(master.resolve("Ferrolan-Demo-00000000001-complete"));
        // Not ours, not finished, or not a folder.
        Files.createDirectories(master.resolve("Ferrolan-Demo-App-00000000009-complete"));
        Files.createDirectories(master.resolve("Ferrolan-Demo-00000000005"));
        Files.createDirectories(master.resolve("FerrolanTemp-Demo-00000000006-complete"));
        Files.write(master.resolve("Ferrolan-Demo-00000000007-complete"), new byte[0]);
        expect(!Updates.from(settings).isUpdateReady(), "nothing newer is ready");
        Files.createDirectories(master.resolve("Ferrolan-Demo-00000000003-complete"));
        expect(Updates.from(settings).isUpdateReady(), "version 3 is ready");

        // Without "ferrolan.appVersion" the running folder's name tells; without either, or
        // without the master folder, nothing can be said.
        settings.remove("ferrolan.appVersion");
        settings.setProperty("ferrolan.appFolder", running.toString());
        expectEquals(2L, Updates.from(settings).runningVersion(), "the version from the folder");
        settings.remove("ferrolan.appFolder");
        expect(!Updates.from(settings).isUpdateReady(), "an unknown running version");
        settings.remove("ferrolan.masterFolder");
        expect(Updates.from(settings) == null, "no master folder, no updates");
    }

    static void theUserArgumentsReachTheRestartedLauncherThroughTheUpdater() throws Exception {
        Path master = Files.createDirectories(root.resolve("flow master"));
        Path updaterFolder =
                Files.createDirectories(master.resolve("Ferrolan-Ferrolan-00000000001-complete"));
        Path appFolder =
                Files.createDirectories(master.resolve("Ferrolan-Demo App-00000000002-complete"));
        Files.copy(Paths.get(System.getProperty("ferrolan.test.demoJar")),
                appFolder.resolve("app.jar"));
        LaunchFile launch = new LaunchFile();
        launch.version = 6;
        launch.mainClass = "com.ferrolan.demo.DemoApp";
        launch.classpath.add("app.jar");
        launch.extraArguments.add("from the launch file");
        launch.write(appFolder.resolve(LaunchFile.NAME));
        // The run's launcher installs version 3 when asked to; the installed copy records how
        // the restart ran it.
        Path launcher = script("flow", "case \"$*\" in\n"
                + "FLUPDATE_CHECK) echo 'FLUPDATE available 3';;\n"
                + "FLUPDATE_DOWNLOAD) echo 'FLUPDATE progress 40'; mkdir '" + master
                + "/Ferrolan-Demo App-00000000003-complete'; echo 'FLUPDATE ready 3';;\n"
                + "*) exit 9;;\nesac");
        Path record = root.resolve("flow-restart");
        Files.move(script("copy", "printf '%s\\0' \"$@\" >'" + record + ".part'; mv '" + record
                + ".part' '" + record + "'"), master.resolve("Demo App"));
        Path properties = updaterFolder.resolve("FLLaunchProperties-1-1");
        Files.write(properties, String.join("\0", "flstat_app_name", "Demo App", "flstat_app_dir",
                updaterFolder.toString(), "flstat_launched_from_dynprops", launcher.toString())
                .getBytes(StandardCharsets.UTF_8));

        List<String> user = new ArrayList<>(Arrays.asList("--update-demo", "--restart-demo",
                "two words", "", "100% \"sure\"", "back\\slash\\"));
        if (NativeText.charset().equals(StandardCharsets.UTF_8)) {
            user.add("é 日本 𝄞");  // only a UTF-8 locale passes it on at all
        }
        List<String> command = new ArrayList<>(Arrays.asList(
                Paths.get(System.getProperty("java.home"), "bin", "java").toString(), "-cp",
                System.getProperty("ferrolan.test.updaterJar"), "com.ferrolan.updater.Updater",
                properties.toString()));
        command.addAll(user);
        Path output = root.resolve("flow.out");
        ProcessBuilder updater = new ProcessBuilder(command).redirectErrorStream(true)
                .redirectOutput(output.toFile());
        // A default charset unlike the file-name one: arguments to a child must still arrive.
        updater.environment().put("JAVA_TOOL_OPTIONS", "-Dfile.encoding=ISO-8859-1");
        updater.environment().put("FERROLAN_LOG_ECHO", "1");
        Process run = updater.start();
        expect(run.waitFor(120, TimeUnit.SECONDS) && run.exitValue() == 0,
                "the updater's run ended well");
        String printed = read(output);
        for (String line : new String[] {"update running version: 2", "update check: available 3",
                "update progress: 40", "update download: ready 3", "update ready: true",
                "update restart: restarting"}) {
            expect(printed.contains(line + "\n"), "the demo printed \"" + line + "\":\n" + printed);
        }
        for (int i = 0; i < 100 && !Files.exists(record); i++) {
            Thread.sleep(100);
        }
        // One NUL after each argument.
        List<String> restarted = new ArrayList<>();
        String recorded = Files.exists(record) ? read(record) : "";
        for (int at = 0, end; (end = recorded.indexOf('\0', at)) >= 0; at = end + 1) {
            restarted.add(recorded.substring(at, end));
        }
        expectEquals(user, restarted, "the restart's arguments");
    }

    // Helpers.

    private static int scripts;

    /** An executable stand-in launcher running `body` with /bin/sh. */
    private static Path script(String name, String body) throws IOException {
        Path file = root.resolve(name + "-" + ++scripts + ".sh");
        Files.write(file, ("#!/bin/sh\n" + body + "\n").getBytes(StandardCharsets.UTF_8));
        Files.setPosixFilePermissions(file, PosixFilePermissions.fromString("rwxr-xr-x"));
        return file;
    }

    /** The launcher's settings as the updater sets them. */
    private static Properties settings(Path master, String app, String version, Path launcher) {
        Properties settings = new Properties();
        settings.setProperty("ferrolan.appName", app);
        settings.setProperty("ferrolan.masterFolder", master.toString());
        settings.setProperty("ferrolan.appVersion", version);
        if (launcher != null) {
            settings.setProperty("ferrolan.launcher", launcher.toString());
        }
        return settings;
    }

    /** Updates whose run was started by `launcher`, in a master folder without a copy. */
    private static Updates updatesWith(Path launcher) throws IOException {
        Path master = Files.createDirectories(root.resolve("empty master"));
        return Updates.from(settings(master, "Demo", "2", launcher));
    }

    private static void expectRestart(Updates updates, Path record, String expected, String what)
            throws Exception {
        Files.deleteIfExists(record);
        Process started = updates.startLauncher();
        expect(started.waitFor(30, TimeUnit.SECONDS), what + ": the launcher ended");
        expectEquals(expected, Files.exists(record) ? read(record) : "", what);
    }

    private static void expectEnded(Path pidFile, String what) throws IOException {
        long pid = Long.parseLong(read(pidFile).trim());
        boolean alive = ProcessHandle.of(pid).map(ProcessHandle::isAlive).orElse(false);
        expect(!alive, "the launcher still runs " + what);
    }

    private static String read(Path file) throws IOException {
        return new String(Files.readAllBytes(file), StandardCharsets.UTF_8);
    }

    private static void expect(boolean held, String what) {
        checks++;
        if (!held) {
            failures.add(what);
        }
    }

    private static void expectEquals(Object expected, Object actual, String what) {
        expect(expected.equals(actual),
                what + ": expected <" + expected + "> but was <" + actual + ">");
    }

    private static void delete(Path folder) throws IOException {
        try (Stream<Path> paths = Files.walk(folder)) {
            for (Path path : (Iterable<Path>) paths.sorted(Comparator.reverseOrder())::iterator) {
                Files.deleteIfExists(path);
            }
        }
    }
}
