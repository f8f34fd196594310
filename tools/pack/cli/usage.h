// The command line of every ferrolan-pack command, its options and its help text, in one place
// so that they read alike.
#pragma once

#include <array>
#include <cstddef>

#include "pack/cli/cli.h"

namespace ferrolan::pack {

inline constexpr const char* kArchiveUsage =
    "Usage: ferrolan-pack archive FOLDER -o FILE.p2.l2 [--key PRIVATE] [--format lzma|xz]\n"
    "           [--no-cache]\n"
    "\n"
    "Packs every folder and file under FOLDER into one archive: entries in a stable order\n"
    "(names sorted by their bytes, each folder before its content), then, with a key, the\n"
    "signature block, all compressed with an 8 MiB dictionary.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE  the archive to write (replaced when complete)\n"
    "  --key PRIVATE      private key file from \"keygen\" (DER, or its hex text); without\n"
    "                     it the archive is unsigned\n"
    "  --format lzma      the legacy .lzma container, readable by every LZMA tool (default)\n"
    "  --format xz        the .xz container in independent 8 MiB blocks: compressed and, by\n"
    "                     the launcher, decoded on all cores\n"
    "  --no-cache         compress again even when the archive cache holds an archive of\n"
    "                     the same entries, format and key\n"
    "  -h, --help         show this text\n"
    "\n"
    "Compressed archives are kept in the archive cache (FERROLAN_PACK_CACHE, or\n"
    "ferrolan-pack in the user's cache folder; 4 GiB at most), so packing the same folder\n"
    "with the same key again takes a copy instead of a compression.\n";

inline constexpr const char* kBuildUsage =
    "Usage: ferrolan-pack build --config FILE.json -o OUTPUT [--launcher IMAGE]\n"
    "       ferrolan-pack build --name NAME --input DIR --main-jar JAR [--main-class CLASS]\n"
    "           [--runtime DIR] [--java-options OPT]... [--arguments ARG]... [--own-jvm]\n"
    "           [--app-version V] [--icon PNG] [--key KEY] [--update-url URL]\n"
    "           [--install-type perm_user|perm_all] -o OUTPUT [--launcher IMAGE]\n"
    "\n"
    "Packages a launcher: the launcher image, the wrapper tail (build settings, the tool\n"
    "files, the signed updater, JRE and application archives with their launch files) and\n"
    "the Params section, all as described by the configuration or by the flags. Folders are\n"
    "packed like \"archive\" does; relative paths in a configuration are taken from its\n"
    "folder. The flags and --config cannot be combined.\n"
    "\n"
    "Options:\n"
    "  --config FILE        the build configuration (JSON; see docs/packager.md)\n"
    "  -o, --output FILE    the packaged launcher to write (replaced when complete)\n"
    "  --launcher IMAGE     the bare launcher executable; overrides \"launcher\" in the\n"
    "                       configuration (default: ferrolan-ship beside ferrolan-pack,\n"
    "                       the stripped shipping image, else ferrolan)\n"
    "  --updater-jar JAR    the updater carried when no updater folder is given (default:\n"
    "                       ferrolan-updater.jar beside ferrolan-pack)\n"
    "  --name NAME          the application's name (its folders, its launch executable)\n"
    "  --input DIR          the application folder; packed whole\n"
    "  --main-jar JAR       the main jar, relative to --input\n"
    "  --main-class CLASS   default: the Main-Class of the main jar's manifest\n"
    "  --runtime DIR        a Java runtime to carry (default: none, an online build)\n"
    "  --java-options OPT   a JVM option of the application (repeatable)\n"
    "  --arguments ARG      an argument for the application (repeatable)\n"
    "  --own-jvm            always start the application in a virtual machine of its own\n"
    "                       (default: in the updater's when their settings match)\n"
    "  --app-version V      1 to 3 numbers separated by dots (default 1)\n"
    "  --icon PNG           the application's icon, carried as PNG and ICO\n"
    "  --key KEY            the private key from \"keygen\" (default: unsigned)\n"
    "  --update-url URL     the update server (default D: the Params update_url)\n"
    "  --install-type T     perm_user (default) or perm_all\n"
    "  --no-cache           compress every archive, even one the archive cache holds\n"
    "  -h, --help           show this text\n"
    "\n"
    "Exit codes: 0 success, 1 failure, 2 bad arguments or a bad configuration.\n";

inline constexpr const char* kPublishUsage =
    "Usage: ferrolan-pack publish --config FILE.json -o FOLDER [OPTIONS]\n"
    "       ferrolan-pack publish --name NAME --input DIR --main-jar JAR [FLAGS] -o FOLDER\n"
    "           [OPTIONS]\n"
    "       ferrolan-pack publish --refresh (--config FILE.json | --key KEY) -o FOLDER\n"
    "           [--expires-days N] [--rollout PERCENT] [--prune]\n"
    "\n"
    "Publishes a release into the update folder for the update server: for the updater and,\n"
    "when the configuration has them, the JRE and the application, the archive\n"
    "Ferrolan-<name>-<version>-archive.p2.l2 (signed with the configured key, compressed in\n"
    "independent xz blocks) and the version file Ferrolan-<name>-version.txt holding the\n"
    "eleven-digit version; <name> is \"Ferrolan\" for the updater, the JRE's name and the\n"
    "application's name. Last comes Ferrolan-update.meta, the metadata signed with the same\n"
    "key, which names each archive with its length and SHA-256; without a key there is none.\n"
    "\n"
    "A new folder appears only when complete. Into an existing update folder the release is\n"
    "added: the older archives stay, the new ones arrive first, then the version files, then\n"
    "the metadata, each under a temporary name renamed when complete. The application's\n"
    "version must be higher than the published one; an updater or JRE of the published\n"
    "version keeps its archive, a lower one is refused. To roll back, publish the older\n"
    "build under a higher version. Serve the folder's files from the address the update URL\n"
    "names; any static web server or CDN will do.\n"
    "\n"
    "Options:\n"
    "  --config FILE        the build configuration (JSON; the file \"build\" takes)\n"
    "  --name, --input, --main-jar and the other flags that describe the application\n"
    "                       as for \"build\" (see \"ferrolan-pack build --help\"), instead of\n"
    "                       --config\n"
    "  -o, --output FOLDER  the update folder\n"
    "  --expires-days N     the metadata expires N days from now, 1 to 366 (default 28):\n"
    "                       refresh it before then\n"
    "  --critical           installations of an older application update before they start\n"
    "  --minimum-version V  installations of an application below V update before they\n"
    "                       start; V is written like the application's version (digits\n"
    "                       with --config, the --app-version form with the flags), not above\n"
    "                       it\n"
    "  --rollout PERCENT    offer the release to this share of installations, 0 to 100\n"
    "                       (default 100)\n"
    "  --prune              afterwards, remove the archives of the metadata's components\n"
    "                       that it no longer names\n"
    "  --refresh            pack nothing: sign the folder's metadata again, unchanged but for\n"
    "                       a new expiry, a higher metadata version and, with --rollout, the\n"
    "                       share (for a scheduled job)\n"
    "  --force              replace the folder as a whole, whatever it holds\n"
    "  --updater-jar JAR    the updater published when no updater folder is configured\n"
    "                       (default: ferrolan-updater.jar beside ferrolan-pack)\n"
    "  --no-cache           compress every archive, even one the archive cache holds\n"
    "  -h, --help           show this text\n"
    "\n"
    "Exit codes: 0 success, 1 failure (also a release that is not newer than the published\n"
    "one, and a folder that is not an update folder, without --force), 2 bad arguments or a\n"
    "bad configuration.\n";

inline constexpr const char* kUsage =
    "Usage: ferrolan-pack COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  keygen   create the RSA key pair that signs archives\n"
    "  archive  pack a folder into a signed, compressed archive (.p2.l2)\n"
    "  build    package a launcher from a JSON configuration\n"
    "  publish  add a release to the update server's folder (archives, version files\n"
    "           and the signed update metadata)\n"
    "  stamp    change the Params of a packaged launcher\n"
    "  inspect  show and verify what a packaged launcher carries\n"
    "  sign     sign a packaged Windows launcher (Authenticode)\n"
    "  help     show this text\n"
    "\n"
    "Run \"ferrolan-pack COMMAND --help\" for the arguments of a command.\n"
    "Exit codes: 0 success, 1 failure, 2 bad arguments.\n";

inline constexpr const char* kInspectUsage =
    "Usage: ferrolan-pack inspect LAUNCHER [--ca CAFILE]\n"
    "\n"
    "Prints the build settings of a packaged launcher (the wrapper tail's fields), its\n"
    "entries (name, type, size) and its Params, and verifies the signature of every archive\n"
    "it carries with the public key in its own settings, the way the launcher will. For a\n"
    "Windows launcher it also shows whether it is signed (Authenticode), by whom, whether\n"
    "that signature verifies (osslsigncode verify) and where the Params lie.\n"
    "\n"
    "Options:\n"
    "  --ca CAFILE   the certificate authorities (PEM) a signature must chain to (default:\n"
    "                the system's)\n"
    "  -h, --help    show this text\n"
    "\n"
    "Exit codes: 0 everything verified, 1 the file cannot be read, an archive fails or the\n"
    "launcher's signature does not verify, 2 bad arguments.\n";

inline constexpr OptionDef kInspectOptions[] = {{"", "--ca", true}};

inline constexpr const char* kSignUsage =
    "Usage: ferrolan-pack sign LAUNCHER --cert CERT --key KEY [--timestamp URL] [-o FILE]\n"
    "\n"
    "Signs a packaged Windows launcher with Authenticode (osslsigncode, SHA-256). The Params\n"
    "section is taken out of the signed range and carried inside the signature, so \"stamp\"\n"
    "can change it per download without signing again. A launcher signed before is signed\n"
    "anew. Linux launchers carry no such signature; this build of the Windows packager\n"
    "cannot sign.\n"
    "\n"
    "Options:\n"
    "  --cert CERT        the code-signing certificate and its chain (PEM or DER)\n"
    "  --key KEY          its private key (PEM or DER, unencrypted)\n"
    "  --timestamp URL    an RFC 3161 time-stamping server that counter-signs the signature\n"
    "  -o, --output FILE  write the signed launcher to FILE instead of replacing LAUNCHER\n"
    "  -h, --help         show this text\n"
    "\n"
    "Exit codes: 0 signed, 1 failure, 2 bad arguments.\n";

inline constexpr OptionDef kSignOptions[] = {
    {"", "--cert", true}, {"", "--key", true}, {"", "--timestamp", true}, {"-o", "--output", true}};

inline constexpr const char* kKeygenUsage =
    "Usage: ferrolan-pack keygen -o NAME [--bits N] [--force]\n"
    "\n"
    "Creates an RSA key pair (public exponent 65537) for signing archives:\n"
    "  NAME.private.der  the private key (PKCS #1 DER); keep it secret, pass it to\n"
    "                    \"archive --key\"\n"
    "  NAME.public.der   the public key as DER SubjectPublicKeyInfo\n"
    "  NAME.public.hex   the same in upper-case hex text, the form the launcher's\n"
    "                    \"Signature Public Key\" field takes\n"
    "\n"
    "Options:\n"
    "  -o, --output NAME  path and base name of the key files\n"
    "  --bits N           key size, 2048 to 8192 (default 4096, the size launchers use)\n"
    "  --force            replace existing key files\n"
    "  -h, --help         show this text\n";

inline constexpr const char* kStampUsage =
    "Usage: ferrolan-pack stamp LAUNCHER [--set NAME=VALUE]... [--unset NAME]... [-o FILE]\n"
    "\n"
    "Changes the Params (dynamic properties) of a packaged launcher. Every byte before the\n"
    "Params section stays as it is, so the image, the build settings and the signed archives\n"
    "are untouched. In a launcher signed with \"sign\" the Params live inside the signature\n"
    "and are replaced there; the signature stays valid. The changes apply in the order\n"
    "given: --set replaces the value of an existing name in its place or adds the name at\n"
    "the end; --unset removes it.\n"
    "\n"
    "Options:\n"
    "  --set NAME=VALUE   set a property (the first \"=\" ends the name)\n"
    "  --unset NAME       remove a property (a name that is not there is reported)\n"
    "  -o, --output FILE  write the result to FILE instead of changing LAUNCHER in place\n"
    "  -h, --help         show this text\n";

inline constexpr OptionDef kArchiveOptions[] = {{"-o", "--output", true},
                                                {"", "--key", true},
                                                {"", "--format", true},
                                                {"", "--no-cache", false}};

/// The jpackage-style flags that describe an application instead of a configuration file;
/// "build" and "publish" take them alike (release/build_flags.h reads them).
inline constexpr OptionDef kPackagingOptions[] = {{"", "--name", true},
                                                  {"", "--input", true},
                                                  {"", "--main-jar", true},
                                                  {"", "--main-class", true},
                                                  {"", "--runtime", true},
                                                  {"", "--java-options", true, true},
                                                  {"", "--arguments", true, true},
                                                  {"", "--own-jvm", false},
                                                  {"", "--app-version", true},
                                                  {"", "--icon", true},
                                                  {"", "--key", true},
                                                  {"", "--update-url", true},
                                                  {"", "--install-type", true}};

/// A command's own options followed by a set it shares with another command.
template <std::size_t kOwn, std::size_t kShared>
constexpr std::array<OptionDef, kOwn + kShared> JoinOptions(const OptionDef (&own)[kOwn],
                                                            const OptionDef (&shared)[kShared]) {
  std::array<OptionDef, kOwn + kShared> joined{};
  for (std::size_t i = 0; i < kOwn; ++i) joined[i] = own[i];
  for (std::size_t i = 0; i < kShared; ++i) joined[kOwn + i] = shared[i];
  return joined;
}

inline constexpr OptionDef kBuildOwnOptions[] = {{"", "--config", true},
                                                 {"-o", "--output", true},
                                                 {"", "--launcher", true},
                                                 {"", "--updater-jar", true},
                                                 {"", "--no-cache", false}};
inline constexpr auto kBuildOptions = JoinOptions(kBuildOwnOptions, kPackagingOptions);

inline constexpr OptionDef kPublishOwnOptions[] = {
    {"", "--config", true},      {"-o", "--output", true},        {"", "--force", false},
    {"", "--updater-jar", true}, {"", "--no-cache", false},       {"", "--expires-days", true},
    {"", "--critical", false},   {"", "--minimum-version", true}, {"", "--rollout", true},
    {"", "--prune", false},      {"", "--refresh", false}};
inline constexpr auto kPublishOptions = JoinOptions(kPublishOwnOptions, kPackagingOptions);

inline constexpr OptionDef kKeygenOptions[] = {
    {"-o", "--output", true}, {"", "--bits", true}, {"", "--force", false}};

}  // namespace ferrolan::pack
