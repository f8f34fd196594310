#include "launch/jni_updater.h"

#include <charconv>
#include <cstddef>

#include "fs/path.h"
#include "launch/jni_launch.h"
#include "log/log.h"

namespace ferrolan::launch {

using log::LogPrintf;

namespace {

// The launch modes of the runtime's launcher helper, as "java" passes them.
constexpr jni::jint kLoadByClassName = 1;
constexpr jni::jint kLoadFromJar = 2;

// The file URLs of `paths`, as a URL[]; null (exception pending) when one cannot be made.
jni::jobjectArray FileUrls(const JniEnv& env, const std::vector<std::string>& paths) {
  jni::jclass file = env.FindClass("java/io/File");
  jni::jclass uri = env.FindClass("java/net/URI");
  jni::jmethodID makeFile = env.Method(file, "<init>", "(Ljava/lang/String;)V");
  jni::jmethodID toUri = env.Method(file, "toURI", "()Ljava/net/URI;");
  jni::jmethodID toUrl = env.Method(uri, "toURL", "()Ljava/net/URL;");
  std::vector<jni::jobject> urls;
  for (const std::string& path : paths) {
    jni::jobject url =
        env.CallObject(env.CallObject(env.New(file, makeFile, env.String(path)), toUri), toUrl);
    if (url == nullptr) return nullptr;
    urls.push_back(url);
  }
  return env.Array(env.FindClass("java/net/URL"), urls);
}

// The runtime's own class-path loader, as its application class loader is made: it defines
// classes without working out file permissions up front (which would load the security
// configuration, milliseconds that "java" does not spend). Null, with nothing pending, on a
// runtime that has no such loader.
jni::jobject BuiltinLoader(const JniEnv& env, jni::jobjectArray urls, jni::jobject parent) {
  jni::jclass classPath = env.FindClass("jdk/internal/loader/URLClassPath");
  jni::jobject path = env.New(
      classPath,
      env.Method(classPath, "<init>", "([Ljava/net/URL;Ljava/security/AccessControlContext;)V"),
      urls, nullptr);
  jni::jclass builtin =
      path == nullptr ? nullptr : env.FindClass("jdk/internal/loader/BuiltinClassLoader");
  jni::jobject loader =
      env.New(builtin,
              env.Method(builtin, "<init>",
                         "(Ljava/lang/String;Ljdk/internal/loader/BuiltinClassLoader;"
                         "Ljdk/internal/loader/URLClassPath;)V"),
              env.String("ferrolan-updater"), parent, path);
  if (loader == nullptr) env.Clear();
  return loader;
}

jni::jobject UrlLoader(const JniEnv& env, jni::jobjectArray urls, jni::jobject parent) {
  jni::jclass type = env.FindClass("java/net/URLClassLoader");
  return env.New(type, env.Method(type, "<init>", "([Ljava/net/URL;Ljava/lang/ClassLoader;)V"),
                 urls, parent);
}

jni::jobject SystemLoader(const JniEnv& env) {
  jni::jclass loader = env.FindClass("java/lang/ClassLoader");
  return env.CallStaticObject(
      loader, env.StaticMethod(loader, "getSystemClassLoader", "()Ljava/lang/ClassLoader;"));
}

// Loads and checks the main class as "java" does, through the runtime's launcher helper; where
// the runtime has none, finds it by name. Null when it cannot be loaded (exception pending, or
// the helper has already reported it and ended the run).
jni::jclass LoadMainClass(const JniEnv& env, const HandOver& handOver) {
  jni::jclass helper = env.FindClass("sun/launcher/LauncherHelper");
  jni::jmethodID checkAndLoad =
      env.StaticMethod(helper, "checkAndLoadMain", "(ZILjava/lang/String;)Ljava/lang/Class;");
  if (checkAndLoad == nullptr) {
    env.Clear();
    return env.FindClass(SlashedClassName(handOver.mainClass).c_str());
  }
  const bool fromJar = !handOver.mainJar.empty();
  return static_cast<jni::jclass>(
      env.CallStaticObject(helper, checkAndLoad, static_cast<jni::jint>(jni::kTrue),
                           fromJar ? kLoadFromJar : kLoadByClassName,
                           env.String(fromJar ? handOver.mainJar : handOver.mainClass)));
}

// Tells the updater how main ended: `thrown`, or null when it returned.
void TellUpdaterMainEnded(const JniEnv& env, jni::jclass updater, jni::jthrowable thrown) {
  env.CallStaticVoid(updater, env.StaticMethod(updater, "mainEnded", "(Ljava/lang/Throwable;)V"),
                     thrown);
  if (env.Pending() != nullptr) env.Clear();
}

}  // namespace

std::string EmptyClasspathEntry(const std::vector<std::string>& updaterClasspath) {
  std::string folder = updaterClasspath.empty() ? std::string() : updaterClasspath.front();
  const std::size_t separator = folder.find_last_of("/\\");
  folder.resize(separator == std::string::npos ? 0 : separator);
  if (folder.empty()) return kNoClassesEntry;
  fs::PathJoin(folder, kNoClassesEntry);
  return folder;
}

jni::jclass LoadInOwnLoader(const JniEnv& env, const std::vector<std::string>& classpath,
                            const std::string& className) {
  jni::jclass classLoader = env.FindClass("java/lang/ClassLoader");
  jni::jobject platform = env.CallStaticObject(
      classLoader,
      env.StaticMethod(classLoader, "getPlatformClassLoader", "()Ljava/lang/ClassLoader;"));
  jni::jobjectArray urls = platform == nullptr ? nullptr : FileUrls(env, classpath);
  jni::jobject loader = urls == nullptr ? nullptr : BuiltinLoader(env, urls, platform);
  if (urls != nullptr && loader == nullptr) {
    LogPrintf(
        "[JNILauncher] The runtime has no built-in class path loader; using a URLClassLoader\n");
    loader = UrlLoader(env, urls, platform);
  }
  auto loaded = static_cast<jni::jclass>(env.CallObject(
      loader, env.Method(classLoader, "loadClass", "(Ljava/lang/String;)Ljava/lang/Class;"),
      env.String(className)));
  if (loaded == nullptr || env.Pending() != nullptr) {
    LogPrintf("[JNILauncher] Loading %s in a class loader of its own failed!\n", className.c_str());
    if (env.Pending() != nullptr) env.Describe();
    return nullptr;
  }
  return loaded;
}

std::optional<HandOver> ParseHandOver(const std::vector<std::string>& fields) {
  if (fields.size() < 3 || fields[0].empty()) return std::nullopt;
  std::size_t count = 0;
  const std::string& text = fields[2];
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (error != std::errc() || end != text.data() + text.size() || count > fields.size() - 3) {
    return std::nullopt;
  }
  HandOver handOver;
  handOver.mainClass = fields[0];
  handOver.mainJar = fields[1];
  handOver.classpath.assign(fields.begin() + 3,
                            fields.begin() + 3 + static_cast<std::ptrdiff_t>(count));
  handOver.arguments.assign(fields.begin() + 3 + static_cast<std::ptrdiff_t>(count), fields.end());
  return handOver;
}

std::optional<HandOver> TakeHandOver(const JniEnv& env, jni::jclass updater) {
  jni::jmethodID take = env.StaticMethod(updater, "handOver", "()[Ljava/lang/String;");
  if (take == nullptr) {
    env.Clear();
    return std::nullopt;
  }
  auto fields = env.Texts(static_cast<jni::jobjectArray>(env.CallStaticObject(updater, take)));
  if (env.Pending() != nullptr) {
    env.Describe();
    return std::nullopt;
  }
  if (!fields) return std::nullopt;
  std::optional<HandOver> handOver = ParseHandOver(*fields);
  if (!handOver) LogPrintf("[JNILauncher] The updater's hand-over is malformed; nothing to run\n");
  return handOver;
}

int RunHandedOver(const JniEnv& env, jni::Vm* vm, jni::jclass updater, const HandOver& handOver) {
  LogPrintf("[JNILauncher] The updater hands over to %s\n", handOver.mainClass.c_str());
  jni::jobject system = SystemLoader(env);
  jni::jmethodID append = env.Method(env.ClassOf(system), "appendToClassPathForInstrumentation",
                                     "(Ljava/lang/String;)V");
  for (const std::string& entry : handOver.classpath) {
    env.CallVoid(system, append, env.String(entry));
  }
  jni::jclass mainClass = append == nullptr ? nullptr : LoadMainClass(env, handOver);
  jni::jmethodID main = env.StaticMethod(mainClass, "main", "([Ljava/lang/String;)V");
  std::vector<jni::jobject> texts;
  for (const std::string& argument : handOver.arguments) texts.push_back(env.String(argument));
  jni::jobjectArray arguments =
      main == nullptr ? nullptr : env.Array(env.FindClass("java/lang/String"), texts);
  if (arguments == nullptr) {
    LogPrintf("[JNILauncher] Starting %s failed!\n", handOver.mainClass.c_str());
    jni::jthrowable thrown = env.Pending();
    if (thrown != nullptr) {
      env.Describe();
    }
    TellUpdaterMainEnded(env, updater, thrown);
    return kJniApplicationThrew;
  }
  env.CallStaticVoid(mainClass, main, arguments);
  jni::jthrowable thrown = env.Pending();
  if (thrown == nullptr) {
    TellUpdaterMainEnded(env, updater, nullptr);
    return 0;
  }
  env.Clear();
  TellUpdaterMainEnded(env, updater, thrown);
  // As "java" does: the thread leaves the virtual machine with the exception pending, which
  // hands it to the thread's uncaught-exception handler.
  env.Rethrow(thrown);
  jni::TableFunction<jni::DetachCurrentThreadFn>(vm->functions,
                                                 jni::vm_slot::kDetachCurrentThread)(vm);
  return kJniApplicationThrew;
}

}  // namespace ferrolan::launch
