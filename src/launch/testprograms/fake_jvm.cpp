// A stand-in JVM library for the launch tests: it exports JNI_CreateJavaVM like a real one and
// answers the few JNI calls the launcher makes, writing each call as one line into the file
// named by the option "-Dferrolan.fakejvm.record=<path>". It lets the tests check the loader,
// the options and the call order where no real Java runtime exists (Windows under Wine).
//
// Steering by names: the option "-Dferrolan.fakejvm.fail=create" makes the creation fail; a
// class whose name contains "Missing" is not found, one containing "NoMain" has no main method,
// and one containing "Throws" leaves an exception pending after its main method.
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

// The only object method the launcher calls is a throwable's toString().
jni::jobject CallObjectMethod(jni::Env*, jni::jobject object, jni::jmethodID, ...) {
  Record("CallObjectMethod " + Text(object) + ".toString");
  return Handle(Text(object) + ": thrown by the stand-in main");
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
  g_vmTable[jni::vm_slot::kDestroyJavaVM] = Entry(&DestroyJavaVM);
  *vm = &g_vm;
  *env = &g_env;
  return jni::kOk;
}
