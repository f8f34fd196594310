// POSIX half of the JNI launch: the JVM library loaded as it is, and the virtual machine session
// on a thread of its own.
#include <jni.h>

#include <cstddef>
#include <thread>

#include "launch/jni_abi.h"
#include "launch/jni_launch_os.h"

namespace ferrolan::launch::detail {

// Our declarations must match the JDK's: the same records and the same table indices.
static_assert(sizeof(jni::jint) == sizeof(jint));
static_assert(sizeof(jni::jboolean) == sizeof(jboolean));
static_assert(jni::kVersion1_4 == JNI_VERSION_1_4);
static_assert(jni::kOk == JNI_OK);
static_assert(sizeof(jni::JavaVMOption) == sizeof(JavaVMOption));
static_assert(sizeof(jni::JavaVMInitArgs) == sizeof(JavaVMInitArgs));
static_assert(offsetof(jni::JavaVMInitArgs, nOptions) == offsetof(JavaVMInitArgs, nOptions));
static_assert(offsetof(jni::JavaVMInitArgs, options) == offsetof(JavaVMInitArgs, options));
static_assert(offsetof(jni::JavaVMInitArgs, ignoreUnrecognized) ==
              offsetof(JavaVMInitArgs, ignoreUnrecognized));
#define FERROLAN_CHECK_ENV_SLOT(name, slot) \
  static_assert(offsetof(JNINativeInterface_, name) == (slot) * sizeof(void*))
FERROLAN_CHECK_ENV_SLOT(FindClass, jni::env_slot::kFindClass);
FERROLAN_CHECK_ENV_SLOT(ExceptionOccurred, jni::env_slot::kExceptionOccurred);
FERROLAN_CHECK_ENV_SLOT(ExceptionDescribe, jni::env_slot::kExceptionDescribe);
FERROLAN_CHECK_ENV_SLOT(ExceptionClear, jni::env_slot::kExceptionClear);
FERROLAN_CHECK_ENV_SLOT(GetStaticMethodID, jni::env_slot::kGetStaticMethodID);
FERROLAN_CHECK_ENV_SLOT(CallStaticVoidMethod, jni::env_slot::kCallStaticVoidMethod);
FERROLAN_CHECK_ENV_SLOT(NewStringUTF, jni::env_slot::kNewStringUTF);
FERROLAN_CHECK_ENV_SLOT(NewObjectArray, jni::env_slot::kNewObjectArray);
FERROLAN_CHECK_ENV_SLOT(SetObjectArrayElement, jni::env_slot::kSetObjectArrayElement);
FERROLAN_CHECK_ENV_SLOT(Throw, jni::env_slot::kThrow);
FERROLAN_CHECK_ENV_SLOT(NewObject, jni::env_slot::kNewObject);
FERROLAN_CHECK_ENV_SLOT(GetObjectClass, jni::env_slot::kGetObjectClass);
FERROLAN_CHECK_ENV_SLOT(GetMethodID, jni::env_slot::kGetMethodID);
FERROLAN_CHECK_ENV_SLOT(CallObjectMethod, jni::env_slot::kCallObjectMethod);
FERROLAN_CHECK_ENV_SLOT(CallVoidMethod, jni::env_slot::kCallVoidMethod);
FERROLAN_CHECK_ENV_SLOT(CallStaticObjectMethod, jni::env_slot::kCallStaticObjectMethod);
FERROLAN_CHECK_ENV_SLOT(GetStringUTFChars, jni::env_slot::kGetStringUTFChars);
FERROLAN_CHECK_ENV_SLOT(ReleaseStringUTFChars, jni::env_slot::kReleaseStringUTFChars);
FERROLAN_CHECK_ENV_SLOT(GetArrayLength, jni::env_slot::kGetArrayLength);
FERROLAN_CHECK_ENV_SLOT(GetObjectArrayElement, jni::env_slot::kGetObjectArrayElement);
#undef FERROLAN_CHECK_ENV_SLOT
static_assert(offsetof(JNIInvokeInterface_, DestroyJavaVM) ==
              jni::vm_slot::kDestroyJavaVM * sizeof(void*));
static_assert(offsetof(JNIInvokeInterface_, DetachCurrentThread) ==
              jni::vm_slot::kDetachCurrentThread * sizeof(void*));

os::DynamicLibrary LoadJvmCandidate(const std::string& /*binFolder*/, const std::string& path) {
  // The dynamic loader finds libjvm.so's own dependencies through its run path, so neither the
  // current directory nor a search path has to change.
  return os::DynamicLibrary(path);
}

int RunJavaSession(const std::function<int()>& session) {
  // The primordial thread's stack cannot take the guard pages the virtual machine sets up on
  // every Java thread, so the session runs on an ordinary thread; this one only waits.
  int result = 1;
  std::thread javaMain([&] { result = session(); });
  javaMain.join();
  return result;
}

}  // namespace ferrolan::launch::detail
