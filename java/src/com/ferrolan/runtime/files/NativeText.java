package com.ferrolan.runtime.files;

import java.nio.charset.Charset;

/**
 * The encoding of the launcher's files. The launcher writes its texts (paths above all) as the
 * system's own 8-bit strings: the ANSI code page on Windows, the locale's file-name bytes on
 * POSIX. The JVM's default charset says nothing about that: "file.encoding" can be set to
 * anything, and from Java 18 on it is UTF-8 whatever the system uses. The charset the JVM itself
 * uses for file names ("sun.jnu.encoding") is the one that turns these bytes back into the same
 * paths; "native.encoding" (Java 17 on) and the default charset are the fall-backs.
 */
public final class NativeText {
    private static final Charset CHARSET = find();

    private NativeText() {
    }

    public static Charset charset() {
        return CHARSET;
    }

    /**
     * A command-line argument for ProcessBuilder. Up to Java 17 the POSIX process launcher turns
     * arguments into bytes with the default charset instead of the file-name charset, so a path
     * outside ASCII reaches the child as other bytes when the two differ. The returned string
     * is the one whose default-charset bytes are the argument's file-name bytes; when no such
     * string exists (or nothing needs mending) the argument is returned as it is.
     */
    public static String forProcessArgument(String argument) {
        Charset launcherCharset = Charset.defaultCharset();
        if (!processArgumentsNeedMending()) {
            return argument;
        }
        byte[] wanted = argument.getBytes(CHARSET);
        String mended = new String(wanted, launcherCharset);
        return java.util.Arrays.equals(mended.getBytes(launcherCharset), wanted) ? mended : argument;
    }

    /**
     * To be called before the first process is started. The same Java versions also name their
     * own spawn helper (under java.home) in the default charset, so a JVM installed under a
     * path outside ASCII could start no process at all; starting children without that helper
     * avoids it.
     */
    public static void prepareProcessLaunch() {
        if (processArgumentsNeedMending()
                && System.getProperty("jdk.lang.Process.launchMechanism") == null) {
            System.setProperty("jdk.lang.Process.launchMechanism", "VFORK");
        }
    }

    private static boolean processArgumentsNeedMending() {
        return Runtime.version().feature() < 18 && java.io.File.separatorChar == '/'
                && !Charset.defaultCharset().equals(CHARSET);
    }

    private static Charset find() {
        for (String property : new String[] {"sun.jnu.encoding", "native.encoding"}) {
            String name = System.getProperty(property);
            if (name != null && !name.isEmpty()) {
                try {
                    return Charset.forName(name);
                } catch (IllegalArgumentException unknown) {
                    // Not one this JVM knows: try the next source.
                }
            }
        }
        return Charset.defaultCharset();
    }
}
