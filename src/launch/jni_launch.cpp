#include "launch/jni_launch.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

#include "fs/file_ops.h"
#include "fs/path.h"
#include "jre/jre_layout.h"
#include "launch/java_command.h"
#include "launch/jni_abi.h"
#include "launch/jni_launch_os.h"
#include "launch/jni_updater.h"
#include "log/log.h"

namespace ferrolan::launch {

using log::LogPrintf;

namespace {

std::atomic<JavaExitHandler>& JavaExitHandlerSlot() {
  static std::atomic<JavaExitHandler> handler{nullptr};
  return handler;
}

void OnJavaExit(jni::jint exitCode) {
  LogPrintf("[JNILauncher] Java ends the process with exit code %d\n", static_cast<int>(exitCode));
  if (const JavaExitHandler handler = JavaExitHandlerSlot().load()) handler(exitCode);
}

// Loaded JVM libraries stay loaded until the process ends; keeping them reachable from here
// also tells leak checkers that they are held on purpose.
std::vector<std::unique_ptr<os::DynamicLibrary>>& LoadedLibraries() {
  static auto* libraries = new std::vector<std::unique_ptr<os::DynamicLibrary>>();
  return *libraries;
}

std::mutex& LoadedLibrariesLock() {
  static auto* lock = new std::mutex();
  return *lock;
}

// Refuses what would not fit the virtual machine's start parameters. Nothing is loaded then,
// and the caller's fallback (the spawn launch) runs.
bool WithinJniLimits(const std::string& mainClass, const std::vector<std::string>& jvmOptions,
                     const std::vector<std::string>& classpath) {
  if (mainClass.size() > kMaxJniClassNameLength) {
    LogPrintf("[JNILaunch] [ERROR] Main class name of %zu characters is too long\n",
              mainClass.size());
    return false;
  }
  if (jvmOptions.size() > kMaxJniJvmOptions) {
    LogPrintf("[JNILaunch] [ERROR] %zu JVM options are too many (at most %zu)\n", jvmOptions.size(),
              kMaxJniJvmOptions);
    return false;
  }
  std::vector<std::string> options = JniOptionStrings({}, classpath);
  if (!options.empty() && options.front().size() > kMaxJniClasspathOptionLength) {
    LogPrintf("[JNILaunch] [ERROR] Class path of %zu characters is too long\n",
              options.front().size());
    return false;
  }
  return true;
}

// The text of a throwable (its toString(): class and message), or "" when it cannot be had.
// No exception may be pending.
std::string ThrowableText(jni::Env* env, jni::jthrowable thrown) {
  void* const* table = env->functions;
  using namespace jni::env_slot;
  auto getClass = jni::TableFunction<jni::GetObjectClassFn>(table, kGetObjectClass);
  auto getMethod = jni::TableFunction<jni::GetMethodIDFn>(table, kGetMethodID);
  auto callObject = jni::TableFunction<jni::CallObjectMethodFn>(table, kCallObjectMethod);
  auto getChars = jni::TableFunction<jni::GetStringUTFCharsFn>(table, kGetStringUTFChars);
  auto releaseChars =
      jni::TableFunction<jni::ReleaseStringUTFCharsFn>(table, kReleaseStringUTFChars);
  auto clear = jni::TableFunction<jni::ExceptionVoidFn>(table, kExceptionClear);
  if (!getClass || !getMethod || !callObject || !getChars || !releaseChars || !clear) return "";
  jni::jclass type = getClass(env, thrown);
  jni::jmethodID toString =
      type == nullptr ? nullptr : getMethod(env, type, "toString", "()Ljava/lang/String;");
  auto text =
      toString == nullptr ? nullptr : static_cast<jni::jstring>(callObject(env, thrown, toString));
  std::string result;
  if (text != nullptr) {
    if (const char* chars = getChars(env, text, nullptr)) {
      result = chars;
      releaseChars(env, text, chars);
    }
  }
  clear(env);  // whatever failed above must not stay pending
  return result;
}

// Everything from creating the virtual machine to destroying it; runs on the thread that
// becomes the Java main thread. The updater is loaded into a class loader of its own, and what
// it hands over runs after its main has returned.
int RunVirtualMachine(jni::CreateJavaVMFn create, jni::JavaVMInitArgs& initArgs,
                      const std::string& mainClass, bool ownLoader,
                      const std::vector<std::string>& classpath,
                      const std::vector<std::string>& appArguments, std::string& thrownText) {
  jni::Vm* vm = nullptr;
  void* envPointer = nullptr;
  if (create(&vm, &envPointer, &initArgs) != jni::kOk || vm == nullptr || envPointer == nullptr) {
    LogPrintf("[JNILauncher] Create Java VM Failed!\n");
    return 1;
  }
  auto* env = static_cast<jni::Env*>(envPointer);
  void* const* table = env->functions;
  using namespace jni::env_slot;
  auto findClass = jni::TableFunction<jni::FindClassFn>(table, kFindClass);
  auto exceptionOccurred = jni::TableFunction<jni::ExceptionOccurredFn>(table, kExceptionOccurred);
  auto exceptionDescribe = jni::TableFunction<jni::ExceptionVoidFn>(table, kExceptionDescribe);

  std::string className = SlashedClassName(mainClass);
  LogPrintf("[JNILauncher] Searching for clazz %s\n", className.c_str());
  jni::jclass clazz = ownLoader ? LoadInOwnLoader(JniEnv(env), classpath, mainClass)
                                : findClass(env, className.c_str());
  if (clazz == nullptr) {
    // The virtual machine stays: one process cannot create a second one anyway.
    LogPrintf("[JNILauncher] Searching for clazz failed!\n");
    return 1;
  }
  LogPrintf("[JNILauncher] Searching for main method %s\n", mainClass.c_str());
  jni::jmethodID mainMethod = jni::TableFunction<jni::GetStaticMethodIDFn>(
      table, kGetStaticMethodID)(env, clazz, "main", "([Ljava/lang/String;)V");
  if (mainMethod == nullptr) {
    // A class without "public static void main(String[])": calling it would be undefined, so
    // say why (the pending NoSuchMethodError) and let the spawn launch report it too.
    LogPrintf("[JNILauncher] Searching for main method failed!\n");
    if (exceptionOccurred(env) != nullptr) exceptionDescribe(env);
    return 1;
  }

  jni::jclass stringClass = findClass(env, "java/lang/String");
  jni::jobjectArray arguments =
      stringClass == nullptr
          ? nullptr
          : jni::TableFunction<jni::NewObjectArrayFn>(table, kNewObjectArray)(
                env, static_cast<jni::jsize>(appArguments.size()), stringClass, nullptr);
  if (arguments == nullptr) {
    LogPrintf("[JNILauncher] Creating the argument array failed!\n");
    if (exceptionOccurred(env) != nullptr) exceptionDescribe(env);
    return 1;
  }
  auto newString = jni::TableFunction<jni::NewStringUTFFn>(table, kNewStringUTF);
  auto setElement = jni::TableFunction<jni::SetObjectArrayElementFn>(table, kSetObjectArrayElement);
  for (std::size_t i = 0; i < appArguments.size(); ++i) {
    LogPrintf("[JNILauncher] Set argument %zu to %s\n", i, appArguments[i].c_str());
    setElement(env, arguments, static_cast<jni::jsize>(i), newString(env, appArguments[i].c_str()));
  }

  LogPrintf("[JNILauncher] About to execute static void method.\n");
  log::LogClose();
  jni::TableFunction<jni::CallStaticVoidMethodFn>(table, kCallStaticVoidMethod)(
      env, clazz, mainMethod, arguments);
  LogPrintf("[JNILauncher] Run complete.\n");
  int result = 0;
  if (jni::jthrowable thrown = exceptionOccurred(env)) {
    exceptionDescribe(env);  // the stack trace on standard error; clears the exception
    thrownText = ThrowableText(env, thrown);
    LogPrintf("[JNILauncher] The main method ended with an exception: %s\n", thrownText.c_str());
    result = kJniMainThrew;
  } else if (ownLoader) {
    if (std::optional<HandOver> handOver = TakeHandOver(JniEnv(env), clazz)) {
      result = RunHandedOver(JniEnv(env), vm, clazz, *handOver);
    }
  }

  LogPrintf("[JNILauncher] Destroying runtime.\n");
  jni::TableFunction<jni::DestroyJavaVMFn>(vm->functions, jni::vm_slot::kDestroyJavaVM)(vm);
  LogPrintf("[JNILauncher] Done!\n");
  return result;
}

}  // namespace

std::string SlashedClassName(const std::string& dottedName) {
  std::string name = dottedName;
  for (char& c : name) {
    if (c == '.') c = '/';
  }
  return name;
}

std::vector<std::string> JniOptionStrings(const std::vector<std::string>& jvmOptions,
                                          const std::vector<std::string>& classpath) {
  std::vector<std::string> options;
  if (!classpath.empty()) {
    std::string option = "-Djava.class.path=";
    for (std::size_t i = 0; i < classpath.size(); ++i) {
      if (i > 0) option.push_back(ClasspathSeparator());
      option += classpath[i];
    }
    options.push_back(std::move(option));
  }
  options.insert(options.end(), jvmOptions.begin(), jvmOptions.end());
  return options;
}

const os::DynamicLibrary* LoadJvmLibrary(const std::string& jreFolder) {
  std::string binFolder = jreFolder;
  fs::PathJoin(binFolder, "bin");
  LogPrintf("[JNILaunch] Bin folder is %s\n", binFolder.c_str());
  std::array<std::string, 4> candidates = jre::JvmLibraryCandidates(jreFolder);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const std::string& path = candidates[i];
    int exists = fs::FileExists(path);
    if (i == 0)
      LogPrintf("[JNILaunch] Trying to load %s [exists=%d]\n", path.c_str(), exists);
    else
      LogPrintf("[JNILaunch] Failed. Now trying to load library %s [exists=%d]\n", path.c_str(),
                exists);
    os::DynamicLibrary library = detail::LoadJvmCandidate(binFolder, path);
    if (library.IsLoaded()) {
      LogPrintf("[JNILauncher] Loaded Windows DLL - %s\n", path.c_str());
      std::lock_guard<std::mutex> hold(LoadedLibrariesLock());
      LoadedLibraries().push_back(std::make_unique<os::DynamicLibrary>(std::move(library)));
      return LoadedLibraries().back().get();
    }
  }
  LogPrintf("[JNILauncher] Failed to load DLL. Will fall back to spawning.");
  return nullptr;
}

int JniLaunch(const std::string& mainClass, const std::string& jreFolder,
              const std::vector<std::string>& jvmOptions, const std::vector<std::string>& classpath,
              const std::vector<std::string>& appArguments, std::string* thrown) {
  if (!WithinJniLimits(mainClass, jvmOptions, classpath)) return 1;
  const os::DynamicLibrary* library = LoadJvmLibrary(jreFolder);
  if (library == nullptr) {
    LogPrintf("[JNILaunch] [ERROR] Unable to load JRE library!\n");
    return 1;
  }
  auto create = library->Function<jni::CreateJavaVMFn>("JNI_CreateJavaVM");

  LogPrintf("[JNILaunch] ------- JNI Launch call -------\n");
  for (std::size_t i = 0; i < jvmOptions.size(); ++i)
    LogPrintf("[JNILaunch] JVM Argument %zu = %s\n", i, jvmOptions[i].c_str());
  for (std::size_t i = 0; i < classpath.size(); ++i)
    LogPrintf("[JNILaunch] CP Argument %zu = %s\n", i, classpath[i].c_str());
  for (std::size_t i = 0; i < appArguments.size(); ++i)
    LogPrintf("[JNILaunch] App Argument %zu = %s\n", i, appArguments[i].c_str());

  // The strings own the bytes the option records point at until the session has ended.
  // The updater's class path goes to its own class loader; the virtual machine's is left for
  // the application it hands over to.
  const bool ownLoader = mainClass == kUpdaterMainClass;
  std::vector<std::string> strings = JniOptionStrings(
      jvmOptions, ownLoader ? std::vector<std::string>{EmptyClasspathEntry(classpath)} : classpath);
  std::vector<jni::JavaVMOption> options(strings.size());
  for (std::size_t i = 0; i < strings.size(); ++i) {
    options[i].optionString = strings[i].data();
    options[i].extraInfo = nullptr;
    LogPrintf("[JNILaunch] JNI Option %zu=%s\n", i, strings[i].c_str());
  }
  // The virtual machine's exit hook: an option named "exit" whose extra information is the
  // function it calls instead of exit.
  static char exitOption[] = "exit";
  if (JavaExitHandlerSlot().load() != nullptr) {
    jni::JavaVMOption hook{};
    hook.optionString = exitOption;
    hook.extraInfo = reinterpret_cast<void*>(&OnJavaExit);
    options.push_back(hook);
  }
  jni::JavaVMInitArgs initArgs{};
  initArgs.version = jni::kVersion1_4;
  initArgs.nOptions = static_cast<jni::jint>(options.size());
  initArgs.options = options.empty() ? nullptr : options.data();
  initArgs.ignoreUnrecognized = jni::kTrue;

  if (create == nullptr) {
    LogPrintf("[JNILauncher] Create Java VM Failed!\n");
    return 1;
  }
  std::string thrownText;
  const int result = detail::RunJavaSession([&] {
    return RunVirtualMachine(create, initArgs, mainClass, ownLoader, classpath, appArguments,
                             thrownText);
  });
  if (thrown != nullptr) *thrown = std::move(thrownText);
  return result;
}

void SetJavaExitHandler(JavaExitHandler handler) { JavaExitHandlerSlot().store(handler); }

}  // namespace ferrolan::launch
