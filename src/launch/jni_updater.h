// The updater in the launcher's virtual machine, and the application it hands over to.
//
// The updater ("com.ferrolan.updater.Updater") runs in a class loader of its own, a child of the
// platform class loader: none of its classes is visible to the application, and the virtual
// machine's class path stays free for the application. When the updater runs the application
// in this virtual machine, its main does not call the application's: it returns, and its
// static handOver() names what to run. The launcher then starts it as "java -jar" (or
// "java -cp") would: it appends the application's class path to the system class loader, loads
// the main class through the runtime's own launcher helper (which honours the main jar's
// manifest: Main-Class, Class-Path, Add-Opens, Add-Exports, Launcher-Agent-Class), and calls
// main on this thread, so main is the bottom frame of the Java main thread. An exception out of
// main is the application's: the thread's uncaught-exception handler reports it, and the run
// ends with exit code 1 once the other threads have ended. The updater hears how main ended
// through its static mainEnded(Throwable).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "launch/jni_abi.h"
#include "launch/jni_env.h"

namespace ferrolan::launch {

/// The updater's main class: the one program the JNI launch loads into a loader of its own.
inline constexpr const char* kUpdaterMainClass = "com.ferrolan.updater.Updater";

/// The class path entry the virtual machine is created with when the updater runs in a loader
/// of its own: a name in the updater's folder that is never a file, so the system class loader
/// starts empty (an empty class path would mean the current folder).
inline constexpr const char* kNoClassesEntry = "FerrolanNoClasses";
std::string EmptyClasspathEntry(const std::vector<std::string>& updaterClasspath);

/// Loads `className` (dotted) from `classpath` through a class loader of its own whose parent is
/// the platform class loader: the runtime's built-in loader where the runtime has it, otherwise
/// a URLClassLoader. Returns null, with the exception described, when it cannot.
jni::jclass LoadInOwnLoader(const JniEnv& env, const std::vector<std::string>& classpath,
                            const std::string& className);

/// What the updater hands over: the application's main class, its main jar ("" for a plain
/// class path start), its class path (absolute entries) and its arguments.
struct HandOver {
  std::string mainClass;
  std::string mainJar;
  std::vector<std::string> classpath;
  std::vector<std::string> arguments;
};

/// Reads the fields of handOver(): the main class, the main jar or "", the number of class
/// path entries in decimal, the entries, then the arguments. nullopt for anything else.
std::optional<HandOver> ParseHandOver(const std::vector<std::string>& fields);

/// After the updater's main has returned: what it hands over, or nullopt when it hands over
/// nothing (the application was started in a process of its own, or has already run).
std::optional<HandOver> TakeHandOver(const JniEnv& env, jni::jclass updater);

/// Starts what the updater handed over and returns once main has ended: 0 when it returned,
/// kJniApplicationThrew when it ended with an exception or its class could not be loaded.
/// The calling thread is detached from the virtual machine afterwards when main threw, so its
/// uncaught-exception handler runs as under "java".
inline constexpr int kJniApplicationThrew = 3;
int RunHandedOver(const JniEnv& env, jni::Vm* vm, jni::jclass updater, const HandOver& handOver);

}  // namespace ferrolan::launch
