// The subcommands of ferrolan-pack. Each takes the arguments after its own name, prints what it
// did to standard output and problems to standard error, and returns a process exit code:
// kExitOk, kExitFailed when the work could not be done, kExitUsage for bad arguments. Nothing
// here ends the process, so the tests run every command in-process.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "cli.h"

namespace ferrolan::pack {

/// Dispatches on the first argument ("keygen", "archive", "build", "publish", "stamp",
/// "inspect", "sign", "help", "--help").
int RunPack(const std::vector<std::string>& args);

/// keygen -o NAME [--bits N] [--force]
/// Writes NAME.private.der (PKCS #1 RSAPrivateKey, owner-only where the system allows it),
/// NAME.public.der (DER SubjectPublicKeyInfo) and NAME.public.hex (that DER as upper-case hex
/// text without a line end: the form of the tail's "Signature Public Key" field). Existing key
/// files are kept unless --force is given: overwriting a private key by mistake would leave
/// every installed application unable to accept further updates.
int RunKeygen(const std::vector<std::string>& args);

/// archive FOLDER -o FILE.p2.l2 [--key PRIVATE]
/// Writes every folder and file under FOLDER as archive entries (folders before their content,
/// names in byte order), adds the signature block when a private key is given (DER or its hex
/// text, as keygen writes it), and compresses the whole as LZMA in the legacy container. The
/// entry stream goes through a temporary file beside the output, so memory stays bounded for
/// any folder size; the output appears under its name only when complete.
int RunArchive(const std::vector<std::string>& args);

/// build --config FILE.json -o OUTPUT [--launcher IMAGE]
/// Packages a launcher: image, wrapper tail (eleven fields and the entries in the order the
/// launcher consumes them, folders packed like "archive") and Params section. A bad
/// configuration (syntax, unknown or missing settings, missing files) exits with kExitUsage.
int RunBuild(const std::vector<std::string>& args);

/// publish --config FILE.json -o FOLDER [--force]
/// Writes the update folder: for every component the configuration has (updater, JRE,
/// application), its version file and its archive under the names an update server offers
/// them (tail/payload_layout.h), the archives packed like "build" packs them. The folder is
/// filled under a temporary sibling name and renamed when complete; a folder that is not empty
/// is replaced only with --force (kExitFailed without it). A bad configuration exits with
/// kExitUsage.
int RunPublish(const std::vector<std::string>& args);

/// stamp LAUNCHER [--set NAME=VALUE]... [--unset NAME]... [-o FILE]
/// Rewrites the Params section only; every byte before it stays identical.
int RunStamp(const std::vector<std::string>& args);

/// inspect LAUNCHER
/// Prints the tail fields, the entries and the Params and verifies every carried archive's
/// signature; kExitFailed when one fails or the layout cannot be read.
int RunInspect(const std::vector<std::string>& args);

/// sign LAUNCHER --cert CERT --key KEY [--timestamp URL] [-o FILE]
/// Signs a packaged Windows launcher with Authenticode through osslsigncode: the Params
/// section is cut off first (it would otherwise lie in the signed range and be found first
/// for ever), the rest is signed, and the Params go into the signature (signed_launcher.h).
/// An ELF launcher, or a build without libcrypto, fails with kExitFailed and says why.
int RunSign(const std::vector<std::string>& args);

/// The file names keygen derives from NAME.
std::string PrivateKeyFileName(const std::string& name);
std::string PublicDerFileName(const std::string& name);
std::string PublicHexFileName(const std::string& name);

/// Reads a private signing key in either form keygen writes (DER, or its hex text with optional
/// surrounding white space). Null, with `error` set, when the file cannot be read or holds no
/// RSA private key.
std::unique_ptr<archive::SigningKey> LoadSigningKey(const std::string& path, std::string* error);

/// Prints "ferrolan-pack COMMAND: MESSAGE" and the command's usage to standard error and returns
/// kExitUsage.
int ReportUsageError(const char* command, const std::string& message, const char* usage);

/// Parses the arguments of `command` against `options`. None when the command ends here: help
/// was shown (`*exitCode` is kExitOk) or a usage error was reported (kExitUsage).
std::optional<CommandLine> ParseCommandArguments(const std::vector<std::string>& args,
                                                 std::span<const OptionDef> options,
                                                 const char* command, const char* usage,
                                                 int* exitCode);

/// Prints "ferrolan-pack COMMAND: MESSAGE" to standard error and returns kExitFailed.
int ReportFailure(const char* command, const std::string& message);

}  // namespace ferrolan::pack
