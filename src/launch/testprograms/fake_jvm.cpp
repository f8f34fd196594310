// A stand-in JVM library for the launch tests: it exports JNI_CreateJavaVM like a real one and
// answers the few JNI calls the launcher makes, writing each call as one line into the file
// named by the option "-Dferrolan.fakejvm.record=<path>". It lets the tests check the loader,
// the options and the call order where no real Java runtime exists (Windows under Wine).
//
// Steering by names: the option "-Dferrolan.fakejvm.fail=create" makes the creation fail; a
// class whose name contains "Missing" is not found, one containing "NoMain" has no main method,
// and one containing "Throws" leaves an exception pending after its main method. The updater's
// class loader and hand-over are played along with: "-Dferrolan.fakejvm.handover=CLASS" makes
// the updater hand over CLASS, with class path "app.jar" and the argument "handed".
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "launch/jni_abi.h"

namespace jni = ferrolan::launch::jni;

namespace {

std::FILE* g_record = nullptr;
std::deque<std::string> g_objects;  // every handle points at one of these names or texts
bool g_pending = false;
std::string g_handOverClass;  // what handOver() names; empty: it hands over nothing
const std::string kHandOverArray = "handover fields";

void Record(const std::string& line) {
  if (g_record == nullptr) return;
  std::fputs(line.c_str(), g_record);
  std::fputc('\n', g_record);
  std::fflush(g_record);
}

jni::jobject Handle(const std::string& text) {
  g_objects.push_back(text);
  return reinterpret_cast<jni::jobject>(&g_objects.back());
}

const std::string& Text(jni::jobject handle) { return *reinterpret_cast<std::string*>(handle); }

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

long Unexpected() {
  Record("UNEXPECTED CALL");
  return 0;
}

jni::jclass FindClass(jni::Env*, const char* name) {
  Record(std::string("FindClass ") + name);
  if (Contains(name, "Missing")) return nullptr;
  return Handle(name);
}

jni::jthrowable ExceptionOccurred(jni::Env*) {
  Record(std::string("ExceptionOccurred ") + (g_pending ? "yes" : "no"));
  return g_pending ? Handle("java/lang/Throwable") : nullptr;
}

void ExceptionDescribe(jni::Env*) {
  Record("ExceptionDescribe");
  g_pending = false;
}

void ExceptionClear(jni::Env*) { g_pending = false; }

jni::jmethodID GetStaticMethodID(jni::Env*, jni::jclass clazz, const char* name,
                                 const char* signature) {
  Record("GetStaticMethodID " + Text(clazz) + " " + name + " " + signature);
  if (Contains(Text(clazz), "NoMain")) {
    g_pending = true;
    return nullptr;
  }
  return reinterpret_cast<jni::jmethodID>(Handle(name));
}

void CallStaticVoidMethod(jni::Env*, jni::jclass clazz, jni::jmethodID, ...) {
  Record("CallStaticVoidMethod " + Text(clazz));
  if (Contains(Text(clazz), "Throws")) g_pending = true;
}

jni::jstring NewStringUTF(jni::Env*, const char* text) {
  Record(std::string("NewStringUTF ") + text);
  return Handle(text);
}

jni::jobjectArray NewObjectArray(jni::Env*, jni::jsize length, jni::jclass clazz,
                                 jni::jobject initial) {
  Record("NewObjectArray " + std::to_string(length) + " " + Text(clazz) +
         (initial == nullptr ? " null" : " initial"));
  return Handle("array");
}

void SetObjectArrayElement(jni::Env*, jni::jobjectArray, jni::jsize index, jni::jobject value) {
  Record("SetObjectArrayElement " + std::to_string(index) + " " + Text(value));
}

jni::jclass GetObjectClass(jni::Env*, jni::jobject object) { return Handle(Text(object)); }

jni::jmethodID GetMethodID(jni::Env*, jni::jclass, const char* name, const char*) {
  return reinterpret_cast<jni::jmethodID>(Handle(name));
}

std::string Slashed(std::string name) {
  for (char& c : name) {
    if (c == '.') c = '/';
  }
  return name;
}

// A throwable's toString(), a class loader's loadClass(name) (the class, named with slashes),
// and whatever the launcher calls to make the updater's loader (an object named after the call).
jni::jobject CallObjectMethod(jni::Env*, jni::jobject object, jni::jmethodID method, ...) {
  const std::string& name = Text(reinterpret_cast<jni::jobject>(method));
  if (name == "toString") {
    Record("CallObjectMethod " + Text(object) + ".toString");
    return Handle(Text(object) + ": thrown by the stand-in main");
  }
  std::va_list arguments;
  va_start(arguments, method);
  jni::jobject first = va_arg(arguments, jni::jobject);
  va_end(arguments);
  if (name == "loadClass") {
    Record("CallObjectMethod loadClass " + Text(first));
    return Handle(Slashed(Text(first)));
  }
  return Handle(name + " of " + Text(object));
}

jni::jobject NewObject(jni::Env*, jni::jclass clazz, jni::jmethodID, ...) {
  Record("NewObject " + Text(clazz));
  return Handle(Text(clazz) + " instance");
}

void CallVoidMethod(jni::Env*, jni::jobject object, jni::jmethodID method, ...) {
  std::va_list arguments;
  va_start(arguments, method);
  jni::jobject first = va_arg(arguments, jni::jobject);
  va_end(arguments);
  Record("CallVoidMethod " + Text(reinterpret_cast<jni::jobject>(method)) + " " + Text(first));
  (void)object;
}

// The class loaders, the updater's hand-over and the launcher helper's checkAndLoadMain(...).
jni::jobject CallStaticObjectMethod(jni::Env*, jni::jclass clazz, jni::jmethodID method, ...) {
  const std::string& name = Text(reinterpret_cast<jni::jobject>(method));
  Record("CallStaticObjectMethod " + Text(clazz) + "." + name);
  if (name == "handOver") return g_handOverClass.empty() ? nullptr : Handle(kHandOverArray);
  if (name == "checkAndLoadMain") {
    std::va_list arguments;
    va_start(arguments, method);
    va_arg(arguments, jni::jint);  // printToStderr
    va_arg(arguments, jni::jint);  // mode
    jni::jobject what = va_arg(arguments, jni::jobject);
    va_end(arguments);
    return Handle(Slashed(Text(what)));
  }
  return Handle(name + " result");
}

jni::jsize GetArrayLength(jni::Env*, jni::jobject array) {
  return Text(array) == kHandOverArray ? 5 : 0;
}

jni::jobject GetObjectArrayElement(jni::Env*, jni::jobjectArray, jni::jsize index) {
  const std::string fields[] = {g_handOverClass, "", "1", "app.jar", "handed"};
  return Handle(fields[index]);
}

jni::jint Throw(jni::Env*, jni::jthrowable) {
  Record("Throw");
  g_pending = true;
  return jni::kOk;
}

jni::jint DetachCurrentThread(jni::Vm*) {
  Record(std::string("DetachCurrentThread") + (g_pending ? " with a pending exception" : ""));
  g_pending = false;
  return jni::kOk;
}

const char* GetStringUTFChars(jni::Env*, jni::jstring text, jni::jboolean*) {
  return Text(text).c_str();
}

void ReleaseStringUTFChars(jni::Env*, jni::jstring, const char*) {}

jni::jint DestroyJavaVM(jni::Vm*) {
  Record("DestroyJavaVM");
  return jni::kOk;
}

template <typename Fn>
void* Entry(Fn function) {
  return reinterpret_cast<void*>(function);
}

void* g_envTable[240];
void* g_vmTable[8];
jni::Env g_env{g_envTable};
jni::Vm g_vm{g_vmTable};

}  // namespace

extern "C" jni::jint JNI_CreateJavaVM(jni::Vm** vm, void** env, void* initArgs) {
  auto* args = static_cast<jni::JavaVMInitArgs*>(initArgs);
  const char* recordPrefix = "-Dferrolan.fakejvm.record=";
  bool fail = false;
  for (jni::jint i = 0; i < args->nOptions; ++i) {
    const char* option = args->options[i].optionString;
    if (std::strncmp(option, recordPrefix, std::strlen(recordPrefix)) == 0) {
      if (g_record != nullptr) std::fclose(g_record);
      g_record = std::fopen(option + std::strlen(recordPrefix), "ab");
    }
    if (std::strcmp(option, "-Dferrolan.fakejvm.fail=create") == 0) fail = true;
    const char* handOverPrefix = "-Dferrolan.fakejvm.handover=";
    if (std::strncmp(option, handOverPrefix, std::strlen(handOverPrefix)) == 0)
      g_handOverClass = option + std::strlen(handOverPrefix);
  }
  Record("JNI_CreateJavaVM version=" + std::to_string(args->version) +
         " options=" + std::to_string(args->nOptions) +
         " ignoreUnrecognized=" + std::to_string(args->ignoreUnrecognized));
  for (jni::jint i = 0; i < args->nOptions; ++i)
    Record("option " + std::to_string(i) + " " + args->options[i].optionString +
           (args->options[i].extraInfo == nullptr ? "" : " (extra info)"));
  if (fail) return -1;

  for (void*& slot : g_envTable) slot = Entry(&Unexpected);
  for (void*& slot : g_vmTable) slot = Entry(&Unexpected);
  using namespace jni::env_slot;
  g_envTable[kFindClass] = Entry(&FindClass);
  g_envTable[kExceptionOccurred] = Entry(&ExceptionOccurred);
  g_envTable[kExceptionDescribe] = Entry(&ExceptionDescribe);
  g_envTable[kExceptionClear] = Entry(&ExceptionClear);
  g_envTable[kGetStaticMethodID] = Entry(&GetStaticMethodID);
  g_envTable[kCallStaticVoidMethod] = Entry(&CallStaticVoidMethod);
  g_envTable[kNewStringUTF] = Entry(&NewStringUTF);
  g_envTable[kNewObjectArray] = Entry(&NewObjectArray);
  g_envTable[kSetObjectArrayElement] = Entry(&SetObjectArrayElement);
  g_envTable[kGetObjectClass] = Entry(&GetObjectClass);
  g_envTable[kGetMethodID] = Entry(&GetMethodID);
  g_envTable[kCallObjectMethod] = Entry(&CallObjectMethod);
  g_envTable[kGetStringUTFChars] = Entry(&GetStringUTFChars);
  g_envTable[kReleaseStringUTFChars] = Entry(&ReleaseStringUTFChars);
  g_envTable[kNewObject] = Entry(&NewObject);
  g_envTable[kCallVoidMethod] = Entry(&CallVoidMethod);
  g_envTable[kCallStaticObjectMethod] = Entry(&CallStaticObjectMethod);
  g_envTable[kGetArrayLength] = Entry(&GetArrayLength);
  g_envTable[kGetObjectArrayElement] = Entry(&GetObjectArrayElement);
  g_envTable[kThrow] = Entry(&Throw);
  g_vmTable[jni::vm_slot::kDestroyJavaVM] = Entry(&DestroyJavaVM);
  g_vmTable[jni::vm_slot::kDetachCurrentThread] = Entry(&DetachCurrentThread);
  *vm = &g_vm;
  *env = &g_env;
  return jni::kOk;
}
