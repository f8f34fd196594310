// The in-process launch: loads the private JRE's JVM library, creates a Java virtual machine
// through the JNI invocation interface, runs the main class's static main method with the
// application arguments and destroys the virtual machine when the method has returned. A
// result of 1 (no virtual machine, no main class) makes the launch fall back to spawning the
// JRE's launcher instead.
//
// Platforms: Windows loads bin\server\jvm.dll, bin\client\jvm.dll, jre\bin\client\jvm.dll or
// jre\bin\server\jvm.dll (in that order) with the bin folder as the current and the DLL
// directory while it loads, and runs Java on the calling thread. POSIX loads libjvm.so from
// lib/server, lib/client, jre/lib/client or jre/lib/server and runs the whole virtual machine
// session on a new thread that the calling thread waits for: the primordial thread's stack is
// special on some systems (the JDK's own launcher does the same), and nothing else differs.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "os/os.h"

namespace ferrolan::launch {

/// Limits of the virtual machine's start parameters. The option array has room for 100
/// entries, one of which is the class path option, so at most 99 JVM options fit beside it.
inline constexpr std::size_t kMaxJniOptions = 100;
inline constexpr std::size_t kMaxJniJvmOptions = 99;
/// Longest main class name (in slashed form) and longest "-Djava.class.path=..." option.
inline constexpr std::size_t kMaxJniClassNameLength = 1007;
inline constexpr std::size_t kMaxJniClasspathOptionLength = 49999;

/// Loads the JVM library of the JRE in `jreFolder`, trying the four places above in order and
/// logging each attempt. Returns the loaded library, or nullptr when none loaded. The library
/// is never unloaded: threads of the virtual machine may still run its code at exit.
const os::DynamicLibrary* LoadJvmLibrary(const std::string& jreFolder);

/// Runs `mainClass` (dotted form, e.g. a.b.Main) in a new virtual machine of the JRE in
/// `jreFolder`. The class path entries are joined with the platform's class path separator
/// (";" on Windows, ":" on POSIX) into one "-Djava.class.path=" option, which comes first and
/// is left out when there are no entries; the JVM options follow in order. The log file is
/// closed right before Java code runs.
///
/// The updater's main class (kUpdaterMainClass) is the exception: its class path goes to a class
/// loader of its own, the virtual machine starts with an empty class path, and what the updater
/// hands over runs after its main has returned (jni_updater.h).
///
/// Returns 0 once the main method has returned and DestroyJavaVM has waited for the other
/// non-daemon threads; kJniApplicationThrew (jni_updater.h) when the application the updater
/// handed over to ended with an exception, which its thread's handler has reported; kJniMainThrew
/// when the main method ended with an exception (described on standard error, its text in `thrown`
/// when given): the program ran, and failed. Returns 1 when the library cannot be loaded or has no
/// JNI_CreateJavaVM, the virtual machine cannot be created, the main class or its main method is
/// not found, or the parameters exceed the limits above (then nothing is loaded).
inline constexpr int kJniMainThrew = 2;
int JniLaunch(const std::string& mainClass, const std::string& jreFolder,
              const std::vector<std::string>& jvmOptions, const std::vector<std::string>& classpath,
              const std::vector<std::string>& appArguments, std::string* thrown = nullptr);

/// What the launcher does when Java ends the process itself (System.exit, Runtime.halt): the
/// virtual machine calls the handler with the exit code instead of the C library's exit, at a
/// point where the launcher's own threads still run, and the handler must end the process.
/// Set once before a launch; null (the default) leaves the exit to the virtual machine.
using JavaExitHandler = void (*)(int exitCode);
void SetJavaExitHandler(JavaExitHandler handler);

/// The option strings handed to the virtual machine, in order: the class path option (when
/// there is a class path) and the JVM options.
std::vector<std::string> JniOptionStrings(const std::vector<std::string>& jvmOptions,
                                          const std::vector<std::string>& classpath);

/// "a.b.Main" -> "a/b/Main".
std::string SlashedClassName(const std::string& dottedName);

}  // namespace ferrolan::launch
