// Our own declarations of the small part of the JNI invocation interface the launcher uses.
// The mingw build has no JDK headers, so both targets use these; jni_launch_posix.cpp checks
// them against the JDK's <jni.h> at compile time.
//
// A JNI environment or virtual machine pointer points at a record whose first member is a
// pointer to a table of functions. The published interface fixes each function's index in its
// table; we call through those indices. Both targets are 64-bit, where JNICALL is the platform's
// only calling convention, so plain function pointer types match.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ferrolan::launch::jni {

using jint = std::int32_t;
using jsize = jint;
using jboolean = std::uint8_t;

struct Object;  // never defined: references are opaque handles
using jobject = Object*;
using jclass = jobject;
using jstring = jobject;
using jobjectArray = jobject;
using jthrowable = jobject;
struct Method;
using jmethodID = Method*;

inline constexpr jint kOk = 0;
inline constexpr jint kVersion1_4 = 0x00010004;
inline constexpr jboolean kTrue = 1;

struct JavaVMOption {
  char* optionString;
  void* extraInfo;
};

struct JavaVMInitArgs {
  jint version;
  jint nOptions;
  JavaVMOption* options;
  jboolean ignoreUnrecognized;
};

/// The record behind a JNIEnv* and a JavaVM*: its first member is the function table.
struct Env {
  void* const* functions;
};
struct Vm {
  void* const* functions;
};

/// Indices in the environment's function table.
namespace env_slot {
inline constexpr std::size_t kFindClass = 6;
inline constexpr std::size_t kThrow = 13;
inline constexpr std::size_t kExceptionOccurred = 15;
inline constexpr std::size_t kExceptionDescribe = 16;
inline constexpr std::size_t kExceptionClear = 17;
inline constexpr std::size_t kNewObject = 28;
inline constexpr std::size_t kGetObjectClass = 31;
inline constexpr std::size_t kGetMethodID = 33;
inline constexpr std::size_t kCallObjectMethod = 34;
inline constexpr std::size_t kCallVoidMethod = 61;
inline constexpr std::size_t kGetStaticMethodID = 113;
inline constexpr std::size_t kCallStaticObjectMethod = 114;
inline constexpr std::size_t kCallStaticVoidMethod = 141;
inline constexpr std::size_t kNewStringUTF = 167;
inline constexpr std::size_t kGetStringUTFChars = 169;
inline constexpr std::size_t kReleaseStringUTFChars = 170;
inline constexpr std::size_t kGetArrayLength = 171;
inline constexpr std::size_t kNewObjectArray = 172;
inline constexpr std::size_t kGetObjectArrayElement = 173;
inline constexpr std::size_t kSetObjectArrayElement = 174;
/// One past the last function we use: a table must hold at least this many entries.
inline constexpr std::size_t kMinimumTableSize = 175;
}  // namespace env_slot

/// Indices in the virtual machine's invocation table (the first three are reserved).
namespace vm_slot {
inline constexpr std::size_t kDestroyJavaVM = 3;
inline constexpr std::size_t kDetachCurrentThread = 5;
inline constexpr std::size_t kMinimumTableSize = 6;
}  // namespace vm_slot

/// The one export of the JVM library the launcher looks up: "JNI_CreateJavaVM".
using CreateJavaVMFn = jint (*)(Vm** vm, void** env, void* initArgs);

using FindClassFn = jclass (*)(Env*, const char*);
using ThrowFn = jint (*)(Env*, jthrowable);
using NewObjectFn = jobject (*)(Env*, jclass, jmethodID, ...);
using CallVoidMethodFn = void (*)(Env*, jobject, jmethodID, ...);
using CallStaticObjectMethodFn = jobject (*)(Env*, jclass, jmethodID, ...);
using GetArrayLengthFn = jsize (*)(Env*, jobject);
using GetObjectArrayElementFn = jobject (*)(Env*, jobjectArray, jsize);
using DetachCurrentThreadFn = jint (*)(Vm*);
using ExceptionOccurredFn = jthrowable (*)(Env*);
using ExceptionVoidFn = void (*)(Env*);
using GetStaticMethodIDFn = jmethodID (*)(Env*, jclass, const char*, const char*);
using GetObjectClassFn = jclass (*)(Env*, jobject);
using GetMethodIDFn = jmethodID (*)(Env*, jclass, const char*, const char*);
using CallObjectMethodFn = jobject (*)(Env*, jobject, jmethodID, ...);
using GetStringUTFCharsFn = const char* (*)(Env*, jstring, jboolean*);
using ReleaseStringUTFCharsFn = void (*)(Env*, jstring, const char*);
using CallStaticVoidMethodFn = void (*)(Env*, jclass, jmethodID, ...);
using NewStringUTFFn = jstring (*)(Env*, const char*);
using NewObjectArrayFn = jobjectArray (*)(Env*, jsize, jclass, jobject);
using SetObjectArrayElementFn = void (*)(Env*, jobjectArray, jsize, jobject);
using DestroyJavaVMFn = jint (*)(Vm*);

/// The function at `slot` of a table, typed.
template <typename Fn>
Fn TableFunction(void* const* table, std::size_t slot) {
  return reinterpret_cast<Fn>(table[slot]);
}

}  // namespace ferrolan::launch::jni
