// keygen: a new RSA key pair for signing archives.
#include "pack/archive/keygen_command.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "archive/archive_writer.h"
#include "pack/cli/cli.h"
#include "pack/cli/command_report.h"
#include "pack/cli/usage.h"
#include "pack/format/key_files.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;
constexpr int kDefaultBits = 4096;
constexpr int kMinBits = 2048;  // PSS with a 64-byte hash and a 64-byte salt needs > 1040 bits
constexpr int kMaxBits = 8192;

// Writes the whole file or nothing: a half-written key file is worse than none.
bool WriteFile(const std::string& path, const void* data, std::size_t length, bool secret,
               std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *error = "cannot create " + path;
    return false;
  }
  if (secret) {
    // Restrict before any secret byte is written. On Windows this only clears the write bits of
    // others, which the file system does not have; the folder's access rules apply there.
    std::error_code ignored;
    stdfs::permissions(path, stdfs::perms::owner_read | stdfs::perms::owner_write,
                       stdfs::perm_options::replace, ignored);
  }
  bool ok = std::fwrite(data, 1, length, file) == length;
  ok = (std::fclose(file) == 0) && ok;
  if (!ok) {
    std::error_code ignored;
    stdfs::remove(path, ignored);
    *error = "cannot write " + path;
  }
  return ok;
}

bool ParseBits(const std::string& text, int* bits) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < kMinBits || value > kMaxBits || value % 8 != 0) return false;
  *bits = value;
  return true;
}

}  // namespace

int RunKeygen(const std::vector<std::string>& args) {
  int exitCode = kExitUsage;
  std::optional<CommandLine> parsed =
      ParseCommandArguments(args, kKeygenOptions, "keygen", kKeygenUsage, &exitCode);
  if (!parsed) return exitCode;
  const CommandLine& line = *parsed;
  if (!line.positionals.empty()) {
    return ReportUsageError("keygen", "unexpected argument \"" + line.positionals[0] + "\"",
                            kKeygenUsage);
  }
  std::string name = line.Value("--output");
  if (name.empty()) return ReportUsageError("keygen", "missing -o NAME", kKeygenUsage);
  int bits = kDefaultBits;
  if (line.Has("--bits") && !ParseBits(line.Value("--bits"), &bits)) {
    return ReportUsageError(
        "keygen",
        "--bits must be a multiple of 8 from 2048 to 8192, not \"" + line.Value("--bits") + "\"",
        kKeygenUsage);
  }

  const std::string files[] = {PrivateKeyFileName(name), PublicDerFileName(name),
                               PublicHexFileName(name)};
  if (!line.Has("--force")) {
    for (const std::string& file : files) {
      std::error_code ignored;
      if (stdfs::exists(file, ignored)) {
        return ReportFailure("keygen", file + " exists; use --force to replace it");
      }
    }
  }

  std::printf("Generating a %d-bit RSA key pair...\n", bits);
  std::fflush(stdout);
  std::unique_ptr<archive::SigningKey> key = archive::SigningKey::Generate(bits);
  if (!key) return ReportFailure("keygen", "key generation failed");

  std::vector<unsigned char> privateDer = key->PrivateDer();
  std::vector<unsigned char> publicDer = key->PublicDer();
  std::string publicHex = key->PublicHex();
  if (privateDer.empty() || publicDer.empty() || publicHex.empty()) {
    return ReportFailure("keygen", "cannot export the key");
  }
  std::string error;
  if (!WriteFile(files[0], privateDer.data(), privateDer.size(), true, &error) ||
      !WriteFile(files[1], publicDer.data(), publicDer.size(), false, &error) ||
      !WriteFile(files[2], publicHex.data(), publicHex.size(), false, &error)) {
    return ReportFailure("keygen", error);
  }
  std::printf("Wrote %s\nWrote %s\nWrote %s (%zu hex digits)\n", files[0].c_str(), files[1].c_str(),
              files[2].c_str(), publicHex.size());
  return kExitOk;
}

}  // namespace ferrolan::pack
