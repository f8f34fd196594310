#include "launcher/failure_report.h"

#include <cstdlib>

#include "launcher/failure_report_os.h"
#include "log/log.h"

namespace ferrolan::launcher {

std::string FailureMessage(const std::string& appName, const std::string& detail,
                           const std::string& logPath) {
  std::string text = (appName.empty() ? std::string("The application") : appName) +
                     " could not be installed or started.";
  if (!detail.empty()) text += "\n\n" + detail;
  if (!logPath.empty()) text += "\n\nThe log has the details: " + logPath;
  return text;
}

void ReportFailure(const std::string& appName, const std::string& detail,
                   const std::string& logPath, bool silent) {
  TellUser(appName, FailureMessage(appName, detail, logPath), silent);
}

void TellUser(const std::string& appName, const std::string& text, bool silent) {
  log::LogPrintf("[Extractor] Telling the user: %s\n", text.c_str());
  const char* noDialogs = std::getenv("FERROLAN_NO_DIALOGS");
  log::LogFlush();
  detail::ShowFailure(appName.empty() ? "Ferrolan" : appName, text,
                      !silent && (noDialogs == nullptr || *noDialogs == '\0'));
}

}  // namespace ferrolan::launcher
