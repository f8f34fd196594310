// The command line of every ferrolan-pack command, its options and its help text, in one place
// so that they read alike.
#pragma once

#include "cli.h"

namespace ferrolan::pack {

inline constexpr const char* kArchiveUsage =
    "Usage: ferrolan-pack archive FOLDER -o FILE.p2.l2 [--key PRIVATE] [--format lzma|xz]\n"
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
    "  -h, --help         show this text\n";

inline constexpr const char* kBuildUsage =
    "Usage: ferrolan-pack build --config FILE.json -o OUTPUT [--launcher IMAGE]\n"
    "\n"
    "Packages a launcher: the launcher image, the wrapper tail (build settings, the tool\n"
    "files, the signed updater, JRE and application archives) and the Params section, all\n"
    "as described by the configuration. Folders named in it are packed like \"archive\"\n"
    "does; relative paths in it are taken from the configuration file's folder.\n"
    "\n"
    "Options:\n"
    "  --config FILE      the build configuration (JSON; see docs/packager.md)\n"
    "  -o, --output FILE  the packaged launcher to write (replaced when complete)\n"
    "  --launcher IMAGE   the bare launcher executable; overrides \"launcher\" in the\n"
    "                     configuration (default: ferrolan beside ferrolan-pack)\n"
    "  -h, --help         show this text\n"
    "\n"
    "Exit codes: 0 success, 1 failure, 2 bad arguments or a bad configuration.\n";

inline constexpr const char* kPublishUsage =
    "Usage: ferrolan-pack publish --config FILE.json -o FOLDER [--force]\n"
    "\n"
    "Writes the update folder for the update server: for the updater and, when the\n"
    "configuration has them, the JRE and the application, a version file\n"
    "Ferrolan-<name>-version.txt holding the eleven-digit version and the archive\n"
    "Ferrolan-<name>-<version>-archive.p2.l2, signed with the configured key and compressed\n"
    "in independent xz blocks. <name> is \"Ferrolan\" for the updater, the JRE's name and\n"
    "the application's name. Serve the folder's files from the address the update URL\n"
    "names; any static web server or CDN will do.\n"
    "\n"
    "Options:\n"
    "  --config FILE        the build configuration (JSON; the file \"build\" takes)\n"
    "  -o, --output FOLDER  the update folder to write (it appears only when complete)\n"
    "  --force              replace a folder that is not empty\n"
    "  -h, --help           show this text\n"
    "\n"
    "Exit codes: 0 success, 1 failure (also a folder that is not empty, without --force),\n"
    "2 bad arguments or a bad configuration.\n";

inline constexpr const char* kUsage =
    "Usage: ferrolan-pack COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  keygen   create the RSA key pair that signs archives\n"
    "  archive  pack a folder into a signed, compressed archive (.p2.l2)\n"
    "  build    package a launcher from a JSON configuration\n"
    "  publish  write the folder for the update server (version files and archives)\n"
    "  stamp    change the Params of a packaged launcher\n"
    "  inspect  show and verify what a packaged launcher carries\n"
    "  help     show this text\n"
    "\n"
    "Run \"ferrolan-pack COMMAND --help\" for the arguments of a command.\n"
    "Exit codes: 0 success, 1 failure, 2 bad arguments.\n";

inline constexpr const char* kInspectUsage =
    "Usage: ferrolan-pack inspect LAUNCHER\n"
    "\n"
    "Prints the build settings of a packaged launcher (the wrapper tail's fields), its\n"
    "entries (name, type, size) and its Params, and verifies the signature of every archive\n"
    "it carries with the public key in its own settings, the way the launcher will.\n"
    "\n"
    "Exit codes: 0 everything verified, 1 the file cannot be read or an archive fails,\n"
    "2 bad arguments.\n";

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
    "are untouched. The changes apply in the order given: --set replaces the value of an\n"
    "existing name in its place or adds the name at the end; --unset removes it.\n"
    "\n"
    "Options:\n"
    "  --set NAME=VALUE   set a property (the first \"=\" ends the name)\n"
    "  --unset NAME       remove a property (a name that is not there is reported)\n"
    "  -o, --output FILE  write the result to FILE instead of changing LAUNCHER in place\n"
    "  -h, --help         show this text\n";

inline constexpr OptionDef kArchiveOptions[] = {
    {"-o", "--output", true}, {"", "--key", true}, {"", "--format", true}};

inline constexpr OptionDef kBuildOptions[] = {
    {"", "--config", true}, {"-o", "--output", true}, {"", "--launcher", true}};

inline constexpr OptionDef kPublishOptions[] = {
    {"", "--config", true}, {"-o", "--output", true}, {"", "--force", false}};

inline constexpr OptionDef kKeygenOptions[] = {
    {"-o", "--output", true}, {"", "--bits", true}, {"", "--force", false}};

}  // namespace ferrolan::pack
