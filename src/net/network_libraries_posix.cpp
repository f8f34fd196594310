#include "net/network_libraries_posix.h"

#include <dlfcn.h>

#include "log/log.h"

namespace ferrolan::net::detail {
namespace {

using log::LogError;

// Opens `soname` for good (never closed) or logs why it cannot be.
void* OpenForGood(const char* soname) {
  void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    LogError("[Network] Unable to load %s: %s\n", soname, why != nullptr ? why : "unknown error");
  }
  return handle;
}

// Resolves `name` into `slot`; false when the library lacks it.
template <typename Fn>
bool Resolve(void* handle, const char* name, Fn& slot) {
  slot = reinterpret_cast<Fn>(dlsym(handle, name));
  if (slot == nullptr) LogError("[Network] The loaded library has no %s\n", name);
  return slot != nullptr;
}

const CurlApi* LoadCurl() {
  void* handle = OpenForGood("libcurl.so.4");
  if (handle == nullptr) return nullptr;
  static CurlApi api;
  const bool complete = Resolve(handle, "curl_global_init", api.globalInit) &&
                        Resolve(handle, "curl_easy_init", api.easyInit) &&
                        Resolve(handle, "curl_easy_setopt", api.easySetopt) &&
                        Resolve(handle, "curl_easy_perform", api.easyPerform) &&
                        Resolve(handle, "curl_easy_getinfo", api.easyGetinfo) &&
                        Resolve(handle, "curl_easy_cleanup", api.easyCleanup) &&
                        Resolve(handle, "curl_easy_strerror", api.easyStrerror) &&
                        Resolve(handle, "curl_url", api.url) &&
                        Resolve(handle, "curl_url_set", api.urlSet) &&
                        Resolve(handle, "curl_url_get", api.urlGet) &&
                        Resolve(handle, "curl_url_cleanup", api.urlCleanup) &&
                        Resolve(handle, "curl_url_strerror", api.urlStrerror) &&
                        Resolve(handle, "curl_free", api.free);
  if (!complete) return nullptr;
  if (api.globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    LogError("[Network] libcurl could not be initialised\n");
    return nullptr;
  }
  return &api;
}

const LibproxyApi* LoadLibproxy() {
  void* handle = OpenForGood("libproxy.so.1");
  if (handle == nullptr) return nullptr;
  static LibproxyApi api;
  const bool complete = Resolve(handle, "px_proxy_factory_new", api.factoryNew) &&
                        Resolve(handle, "px_proxy_factory_get_proxies", api.getProxies) &&
                        Resolve(handle, "px_proxy_factory_free_proxies", api.freeProxies) &&
                        Resolve(handle, "px_proxy_factory_free", api.factoryFree);
  return complete ? &api : nullptr;
}

}  // namespace

// Function-local statics: initialised exactly once even when the five strategy threads of a
// race arrive together (curl_global_init itself is not thread-safe).
const CurlApi* Curl() {
  static const CurlApi* const api = LoadCurl();
  return api;
}

const LibproxyApi* Libproxy() {
  static const LibproxyApi* const api = LoadLibproxy();
  return api;
}

}  // namespace ferrolan::net::detail
