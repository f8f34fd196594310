// libcurl and libproxy as the POSIX network backend uses them: loaded when the first download or
// proxy lookup needs them, not linked. Linking them costs every start several milliseconds
// before main (libcurl brings TLS, Kerberos and LDAP libraries with their constructors), and a
// start that runs what is installed never downloads. Private to the net subsystem's POSIX files.
#pragma once

#include <curl/curl.h>
#include <proxy.h>

namespace ferrolan::net::detail {

/// The libcurl functions the downloads call, resolved from the loaded libcurl.so.4.
struct CurlApi {
  decltype(&curl_global_init) globalInit = nullptr;
  decltype(&curl_easy_init) easyInit = nullptr;
  decltype(&curl_easy_setopt) easySetopt = nullptr;
  decltype(&curl_easy_perform) easyPerform = nullptr;
  decltype(&curl_easy_getinfo) easyGetinfo = nullptr;
  decltype(&curl_easy_cleanup) easyCleanup = nullptr;
  decltype(&curl_easy_strerror) easyStrerror = nullptr;
  decltype(&curl_url) url = nullptr;
  decltype(&curl_url_set) urlSet = nullptr;
  decltype(&curl_url_get) urlGet = nullptr;
  decltype(&curl_url_cleanup) urlCleanup = nullptr;
  decltype(&curl_url_strerror) urlStrerror = nullptr;
  decltype(&curl_free) free = nullptr;
};

/// The libproxy functions of the automatic proxy lookup, resolved from libproxy.so.1.
struct LibproxyApi {
  decltype(&px_proxy_factory_new) factoryNew = nullptr;
  decltype(&px_proxy_factory_get_proxies) getProxies = nullptr;
  decltype(&px_proxy_factory_free_proxies) freeProxies = nullptr;
  decltype(&px_proxy_factory_free) factoryFree = nullptr;
};

/// libcurl's functions, loading the library and running curl_global_init on the first call;
/// nullptr (with the reason in the log, once) when it cannot be loaded. Safe to call from
/// several threads. The library stays loaded until the process ends: threads of a finished
/// race may still be inside it.
const CurlApi* Curl();

/// libproxy's functions, loaded on the first call; nullptr (logged once) when it cannot be.
const LibproxyApi* Libproxy();

}  // namespace ferrolan::net::detail
