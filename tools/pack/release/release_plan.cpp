#include "pack/release/release_plan.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "pack/format/payload_reader.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;
using archive::UpdateComponentKind;

std::string Describe(const ReleaseComponent& component) {
  switch (component.kind) {
    case UpdateComponentKind::kUpdater:
      return "the updater";
    case UpdateComponentKind::kJre:
      return "the JRE " + component.name;
    case UpdateComponentKind::kApp:
      break;
  }
  return "the application " + component.name;
}

// The published archive of the component's own version stays, when it is what was published:
// the archive the metadata names, byte for byte, or, in a folder without metadata, an archive
// that verifies with the key. Nothing new is signed for a file that could have been changed.
std::string KeepPublished(ReleaseComponent& component, const std::string& folder,
                          const archive::UpdateComponent* named, const archive::PublicKey* key) {
  const std::string path = (stdfs::path(folder) / component.files.archive).string();
  std::error_code ignored;
  if (!stdfs::exists(path, ignored)) {
    std::fprintf(stderr,
                 "ferrolan-pack publish: note: %s is published at version %s, but %s is "
                 "missing from the folder: it is packed again\n",
                 Describe(component).c_str(), component.version.c_str(),
                 component.files.archive.c_str());
    return {};
  }
  const std::optional<FileDigest> digest = DigestFile(path);
  if (!digest) return "cannot read " + path;
  const std::string advice = ": publish a higher version of " + Describe(component) +
                             ", or replace the folder with --force";
  if (named) {
    if (named->archive != component.files.archive || named->length != digest->length ||
        named->sha256 != digest->sha256) {
      return component.files.archive + " is not the archive the update metadata names (its " +
             "length or SHA-256 changed since it was published)" + advice;
    }
  } else if (key) {
    const ArchiveCheck check = CheckCarriedArchive(path, 0, digest->length, key);
    if (!check.ok) {
      return "the published " + component.files.archive +
             " does not verify with the configured key (" + check.message + ")" + advice;
    }
  }
  component.keep = true;
  component.digest = *digest;
  return {};
}

// The folder's verified metadata, or why it cannot be trusted.
std::string ReadPublishedMetadata(const std::string& folder, const archive::PublicKey* key,
                                  const std::string& appName, PublishedCheck& check) {
  const std::string replace = "; publish into another folder, or replace this one with --force";
  if (!key) {
    return folder + " holds signed update metadata, and the configuration has no key to " +
           "continue it with" + replace;
  }
  const std::optional<archive::MetadataReading> reading = ReadFolderMetadata(folder, key);
  if (!reading || reading->status != archive::MetadataStatus::kOk) {
    return "the update metadata of " + folder + " " + MetadataProblem(reading) +
           ": the folder is another vendor's or another key's" + replace;
  }
  if (reading->metadata.appName != appName) {
    return "the update metadata of " + folder + " is for the application \"" +
           reading->metadata.appName + "\", not \"" + appName + "\"" + replace;
  }
  check.metadata = reading->metadata;
  return {};
}

// The version of `component` the folder offers, if any.
std::optional<std::string> PublishedVersion(const ReleaseComponent& component,
                                            const std::string& folder, const PublishedCheck& check,
                                            const archive::UpdateComponent** named,
                                            std::string* problem) {
  *named = nullptr;
  if (check.metadata) {
    // A JRE of another name is another component: the launcher of each name asks for its own.
    const archive::UpdateComponent* offered = check.metadata->Find(component.kind);
    if (!offered || offered->name != component.name) return std::nullopt;
    *named = offered;
    return offered->version;
  }
  bool malformed = false;
  std::optional<std::string> version =
      ReadVersionFile((stdfs::path(folder) / component.files.versionFile).string(), &malformed);
  if (malformed) *problem = component.files.versionFile + " in " + folder + " holds no version";
  return version;
}

}  // namespace

std::vector<ReleaseComponent> ReleaseComponentsOf(const BuildConfig& config) {
  std::vector<ReleaseComponent> release;
  const std::string jreName = config.jre ? config.jre->name : std::string();
  for (tail::ServerComponent server : tail::ServerComponentsFor(config.fields)) {
    ReleaseComponent component;
    component.files = tail::ServerFilesFor(server, config.fields, jreName);
    switch (server) {
      case tail::ServerComponent::kUpdater:
        component.kind = UpdateComponentKind::kUpdater;
        component.name = tail::kUpdaterName;
        component.version = config.fields.guVersion;
        component.source = &config.updater;
        break;
      case tail::ServerComponent::kJre:
        component.kind = UpdateComponentKind::kJre;
        component.name = jreName;
        component.version = config.fields.jreVersion;
        component.source = &*config.jre;
        break;
      case tail::ServerComponent::kApp:
        component.kind = UpdateComponentKind::kApp;
        component.name = config.fields.appName;
        component.version = config.fields.appVersion;
        component.source = &*config.app;
        break;
    }
    release.push_back(std::move(component));
  }
  return release;
}

PublishedCheck CheckAgainstPublished(std::vector<ReleaseComponent>& release,
                                     const std::string& folder, const UpdateFolderListing& listing,
                                     const archive::PublicKey* key, const std::string& appName) {
  PublishedCheck check;
  if (listing.hasMetadata) {
    check.problem = ReadPublishedMetadata(folder, key, appName, check);
    if (!check.problem.empty()) return check;
  }
  bool anythingNew = false;
  for (ReleaseComponent& component : release) {
    const archive::UpdateComponent* named = nullptr;
    const std::optional<std::string> published =
        PublishedVersion(component, folder, check, &named, &check.problem);
    if (!check.problem.empty()) return check;
    const std::uint64_t ours = archive::VersionValue(component.version);
    const std::uint64_t theirs = published ? archive::VersionValue(*published) : 0;
    if (!published || ours > theirs) {
      anythingNew = true;
      continue;
    }
    if (component.kind == UpdateComponentKind::kApp || ours < theirs) {
      // Installations never go back to a lower version, so a rollback is a new release too.
      check.problem = Describe(component) + " " + component.version + " is not newer than the " +
                      "published " + *published + ": publish it under a higher version (to " +
                      "roll back, publish the older build under a higher version)";
      return check;
    }
    check.problem = KeepPublished(component, folder, named, key);
    if (!check.problem.empty()) return check;
  }
  if (!anythingNew) {
    check.problem = "nothing to publish: " + folder + " offers every component at this version";
  }
  return check;
}

}  // namespace ferrolan::pack
