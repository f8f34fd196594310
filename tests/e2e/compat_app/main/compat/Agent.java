package compat;

import java.lang.instrument.Instrumentation;

/** The main jar's Launcher-Agent-Class: runs before main when the jar is started as "java -jar". */
public final class Agent {
    private Agent() {
    }

    public static void agentmain(String arguments, Instrumentation instrumentation) {
        System.setProperty("compat.agent", "ran before main, redefinition "
                + (instrumentation.isRedefineClassesSupported() ? "supported" : "unsupported"));
    }
}
