#include "tail/payload_layout.h"

namespace ferrolan::tail {

std::vector<TailEntry> TailEntriesFor(const TailFields& fields) {
  if (fields.guVersion.empty()) return {};
  std::vector<TailEntry> entries = {TailEntry::kLzma, TailEntry::kSplash, TailEntry::kCacerts,
                                    TailEntry::kUpdaterArchive, TailEntry::kUpdaterVersion};
  if (!fields.jreVersion.empty()) entries.push_back(TailEntry::kJreArchive);
  if (!fields.appVersion.empty()) {
    entries.push_back(TailEntry::kAppArchive);
    entries.push_back(TailEntry::kAppVersion);
  }
  return entries;
}

std::string ArchiveName(std::string_view component, std::string_view version) {
  return std::string("Ferrolan-")
      .append(component)
      .append("-")
      .append(version)
      .append("-archive.p2.l2");
}

std::string VersionFileName(std::string_view component) {
  return std::string("Ferrolan-").append(component).append("-version.txt");
}

std::string OfflineAppComponent(std::string_view appName) {
  return std::string(appName) + "_offline_flwin";
}

std::string TailEntryName(TailEntry entry, const TailFields& fields, std::string_view jreName) {
  switch (entry) {
    case TailEntry::kLzma:
      return kLzmaFileName;
    case TailEntry::kSplash:
      return kSplashFileName;
    case TailEntry::kCacerts:
      return kCacertsFileName;
    case TailEntry::kUpdaterArchive:
      return ArchiveName(kUpdaterName, fields.guVersion);
    case TailEntry::kUpdaterVersion:
      return VersionFileName(kUpdaterName);
    case TailEntry::kJreArchive:
      return ArchiveName(jreName, fields.jreVersion);
    case TailEntry::kAppArchive:
      return ArchiveName(OfflineAppComponent(fields.appName), fields.appVersion);
    case TailEntry::kAppVersion:
      return VersionFileName(fields.appName);
  }
  return {};
}

std::vector<ServerComponent> ServerComponentsFor(const TailFields& fields) {
  std::vector<ServerComponent> components;
  if (!fields.guVersion.empty()) components.push_back(ServerComponent::kUpdater);
  if (!fields.jreVersion.empty()) components.push_back(ServerComponent::kJre);
  if (!fields.appVersion.empty()) components.push_back(ServerComponent::kApp);
  return components;
}

ServerFiles ServerFilesFor(ServerComponent component, const TailFields& fields,
                           std::string_view jreName) {
  std::string_view name;
  std::string_view version;
  switch (component) {
    case ServerComponent::kUpdater:
      name = kUpdaterName;
      version = fields.guVersion;
      break;
    case ServerComponent::kJre:
      name = jreName;
      version = fields.jreVersion;
      break;
    case ServerComponent::kApp:
      name = fields.appName;
      version = fields.appVersion;
      break;
  }
  return {VersionFileName(name), ArchiveName(name, version)};
}

}  // namespace ferrolan::tail
