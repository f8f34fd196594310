// Typed calls through a JNI environment's function table (jni_abi.h), for the few steps the
// launcher takes in Java: finding classes and methods, creating objects and strings, calling
// methods, reading string arrays, and the pending exception. JNI allows almost no call while an
// exception is pending, so every call but those on the exception itself does nothing then and
// yields null: a chain of calls stops at its first failure, and the caller looks at Pending().
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "launch/jni_abi.h"

namespace ferrolan::launch {

class JniEnv {
 public:
  explicit JniEnv(jni::Env* env) : env_(env), table_(env->functions) {}

  jni::Env* raw() const { return env_; }

  jni::jclass FindClass(const char* slashedName) const {
    if (!Ok()) return nullptr;
    return Fn<jni::FindClassFn>(jni::env_slot::kFindClass)(env_, slashedName);
  }
  jni::jclass ClassOf(jni::jobject object) const {
    if (object == nullptr || !Ok()) return nullptr;
    return Fn<jni::GetObjectClassFn>(jni::env_slot::kGetObjectClass)(env_, object);
  }
  jni::jmethodID Method(jni::jclass type, const char* name, const char* signature) const {
    return type == nullptr
               ? nullptr
               : Fn<jni::GetMethodIDFn>(jni::env_slot::kGetMethodID)(env_, type, name, signature);
  }
  jni::jmethodID StaticMethod(jni::jclass type, const char* name, const char* signature) const {
    return type == nullptr || !Ok()
               ? nullptr
               : Fn<jni::GetStaticMethodIDFn>(jni::env_slot::kGetStaticMethodID)(env_, type, name,
                                                                                 signature);
  }

  // Calls pass jobject arguments and jint for int and boolean parameters (the C variadic
  // promotion JNI expects). A call with a missing target or method does nothing and yields null.
  template <typename... Args>
  jni::jobject New(jni::jclass type, jni::jmethodID constructor, Args... args) const {
    if (type == nullptr || constructor == nullptr || !Ok()) return nullptr;
    return Fn<jni::NewObjectFn>(jni::env_slot::kNewObject)(env_, type, constructor, args...);
  }
  template <typename... Args>
  jni::jobject CallObject(jni::jobject target, jni::jmethodID method, Args... args) const {
    if (target == nullptr || method == nullptr || !Ok()) return nullptr;
    return Fn<jni::CallObjectMethodFn>(jni::env_slot::kCallObjectMethod)(env_, target, method,
                                                                         args...);
  }
  template <typename... Args>
  void CallVoid(jni::jobject target, jni::jmethodID method, Args... args) const {
    if (target == nullptr || method == nullptr || !Ok()) return;
    Fn<jni::CallVoidMethodFn>(jni::env_slot::kCallVoidMethod)(env_, target, method, args...);
  }
  template <typename... Args>
  jni::jobject CallStaticObject(jni::jclass type, jni::jmethodID method, Args... args) const {
    if (type == nullptr || method == nullptr || !Ok()) return nullptr;
    return Fn<jni::CallStaticObjectMethodFn>(jni::env_slot::kCallStaticObjectMethod)(
        env_, type, method, args...);
  }
  template <typename... Args>
  void CallStaticVoid(jni::jclass type, jni::jmethodID method, Args... args) const {
    if (type == nullptr || method == nullptr || !Ok()) return;
    Fn<jni::CallStaticVoidMethodFn>(jni::env_slot::kCallStaticVoidMethod)(env_, type, method,
                                                                          args...);
  }

  jni::jstring String(const std::string& text) const {
    if (!Ok()) return nullptr;
    return Fn<jni::NewStringUTFFn>(jni::env_slot::kNewStringUTF)(env_, text.c_str());
  }
  /// A Java string's text in modified UTF-8; nullopt for null.
  std::optional<std::string> Text(jni::jstring text) const {
    if (text == nullptr || !Ok()) return std::nullopt;
    const char* chars =
        Fn<jni::GetStringUTFCharsFn>(jni::env_slot::kGetStringUTFChars)(env_, text, nullptr);
    if (chars == nullptr) return std::nullopt;
    std::string result = chars;
    Fn<jni::ReleaseStringUTFCharsFn>(jni::env_slot::kReleaseStringUTFChars)(env_, text, chars);
    return result;
  }

  /// An array of `type` holding `elements` in order; null when it cannot be made.
  jni::jobjectArray Array(jni::jclass type, const std::vector<jni::jobject>& elements) const {
    if (type == nullptr || !Ok()) return nullptr;
    jni::jobjectArray array = Fn<jni::NewObjectArrayFn>(jni::env_slot::kNewObjectArray)(
        env_, static_cast<jni::jsize>(elements.size()), type, nullptr);
    if (array == nullptr) return nullptr;
    for (std::size_t i = 0; i < elements.size(); ++i) {
      Fn<jni::SetObjectArrayElementFn>(jni::env_slot::kSetObjectArrayElement)(
          env_, array, static_cast<jni::jsize>(i), elements[i]);
    }
    return array;
  }
  /// The texts of a String[]; nullopt for null or an element that is null.
  std::optional<std::vector<std::string>> Texts(jni::jobjectArray array) const {
    if (array == nullptr || !Ok()) return std::nullopt;
    const jni::jsize length =
        Fn<jni::GetArrayLengthFn>(jni::env_slot::kGetArrayLength)(env_, array);
    std::vector<std::string> texts;
    for (jni::jsize i = 0; i < length; ++i) {
      std::optional<std::string> text = Text(static_cast<jni::jstring>(
          Fn<jni::GetObjectArrayElementFn>(jni::env_slot::kGetObjectArrayElement)(env_, array, i)));
      if (!text) return std::nullopt;
      texts.push_back(std::move(*text));
    }
    return texts;
  }

  /// The pending exception, or null.
  jni::jthrowable Pending() const {
    return Fn<jni::ExceptionOccurredFn>(jni::env_slot::kExceptionOccurred)(env_);
  }
  /// Prints the pending exception and its stack trace on standard error, and clears it.
  void Describe() const { Fn<jni::ExceptionVoidFn>(jni::env_slot::kExceptionDescribe)(env_); }
  void Clear() const { Fn<jni::ExceptionVoidFn>(jni::env_slot::kExceptionClear)(env_); }
  /// Makes `thrown` the pending exception again.
  void Rethrow(jni::jthrowable thrown) const {
    Fn<jni::ThrowFn>(jni::env_slot::kThrow)(env_, thrown);
  }

 private:
  bool Ok() const { return Pending() == nullptr; }

  template <typename F>
  F Fn(std::size_t slot) const {
    return jni::TableFunction<F>(table_, slot);
  }

  jni::Env* env_;
  void* const* table_;
};

}  // namespace ferrolan::launch
