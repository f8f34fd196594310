// Windows half of the JNI launch: the JVM library (jvm.dll, see jre/jre_layout.h) is loaded
// while its bin folder is the current and the DLL directory so that the DLLs it depends
// on are found beside the JRE's executables.
#include "os/windows.h"

#include "launch/jni_launch_os.h"
#include "log/log.h"

namespace ferrolan::launch::detail {

namespace {

using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);

// SetDllDirectoryA is missing on the oldest systems, so it is looked up at run time and every
// use is skipped without it.
SetDllDirectoryFn LookUpSetDllDirectory() {
  HMODULE kernel = GetModuleHandleA("kernel32");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<SetDllDirectoryFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
}

// Makes a folder the current and the DLL directory for its lifetime, then restores the saved
// current directory and the default DLL search.
class ScopedLoadDirectory {
 public:
  explicit ScopedLoadDirectory(const std::string& folder)
      : setDllDirectory_(LookUpSetDllDirectory()) {
    char saved[2000];
    DWORD length = GetCurrentDirectoryA(sizeof saved, saved);
    if (length > 0 && length < sizeof saved) saved_.assign(saved, length);
    SetCurrentDirectoryA(folder.c_str());
    if (setDllDirectory_ != nullptr) setDllDirectory_(folder.c_str());
  }
  ~ScopedLoadDirectory() {
    if (setDllDirectory_ != nullptr) setDllDirectory_(nullptr);
    if (!saved_.empty()) SetCurrentDirectoryA(saved_.c_str());
  }
  ScopedLoadDirectory(const ScopedLoadDirectory&) = delete;
  ScopedLoadDirectory& operator=(const ScopedLoadDirectory&) = delete;

 private:
  SetDllDirectoryFn setDllDirectory_;
  std::string saved_;
};

}  // namespace

os::DynamicLibrary LoadJvmCandidate(const std::string& binFolder, const std::string& path) {
  ScopedLoadDirectory directory(binFolder);
  return os::DynamicLibrary(path);
}

int RunJavaSession(const std::function<int()>& session) {
  // The launcher's main thread becomes the Java main thread.
  return session();
}

}  // namespace ferrolan::launch::detail
