// corvane keys: the ledger of used keys, shown and edited.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/args.hpp"
#include "cli/command.hpp"
#include "core/key_image.hpp"
#include "core/platform.hpp"
#include "encrypt/used_keys.hpp"

namespace corvane::cli {
namespace {

constexpr const char* kName = "keys";

constexpr const char* kUsage =
    "Usage: corvane keys (--list | --forget KEY)\n"
    "\n"
    "Shows or edits the ledger of used keys. Before a key hides a second, different message,\n"
    "corvane encrypt refuses (unless told to reuse the key) and the encryptor window asks.\n"
    "\n"
    "  --list        print the ledger's entries, one a line: the date, the key's digest and\n"
    "                the image it was saved in\n"
    "  --forget KEY  remove every entry of KEY: a key image, or its digest as --list prints it\n"
    "\n"
    "The ledger is $XDG_DATA_HOME/corvane/used-keys, by default ~/.local/share/corvane/used-keys.\n"
    "It holds digests, dates and file names, never a key or a message.\n"
    "Exit status: 0 done, 1 a failure, 2 a usage error.\n";

bool IsDigest(const std::string& text) {
    if (text.size() != 64) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

int List(const std::string& path) {
    const UsedKeys ledger = ReadUsedKeys(path);
    if (!ledger.warning.empty()) std::fprintf(stderr, "corvane keys: warning: %s\n", ledger.warning.c_str());
    for (const auto& e : ledger.entries)
        std::printf("%s  %s  %s\n", LocalLedgerDate(e.date).c_str(), e.keyDigest.c_str(), e.file.c_str());
    return ledger.readable ? kExitDone : kExitFailed;
}

// The key's digest as the ledger knows it: from the key image, or as given
// (a key that has been wiped can be forgotten only so).
bool DigestOf(const std::string& key, std::string& digest) {
    if (IsDigest(key) && !FileExists(key)) {
        digest = key;
        return true;
    }
    KeyImage image;
    std::string error;
    if (!LoadKeyImage(key, image, &error)) {
        std::fprintf(stderr, "corvane keys: cannot load the key image %s: %s\n", key.c_str(), error.c_str());
        return false;
    }
    digest = IdentifyKey(image.pixels, image.comment).keyDigest;
    return true;
}

int Forget(const std::string& path, const std::string& key) {
    std::string digest;
    if (!DigestOf(key, digest)) return kExitFailed;
    int removed = 0;
    const std::string problem = ForgetKey(path, digest, removed);
    if (!problem.empty()) {
        std::fprintf(stderr, "corvane keys: %s\n", problem.c_str());
        return kExitFailed;
    }
    std::fprintf(stderr, "corvane keys: %d %s of %s removed from %s\n", removed, removed == 1 ? "entry" : "entries",
                 key.c_str(), path.c_str());
    return kExitDone;
}

int Run(const std::vector<std::string>& argv) {
    Args args;
    if (!args.Parse(argv, {"--forget"}, {"--list"})) return UsageError(kName, args.error());
    if (!args.EmptyPath({"--forget"}).empty()) return UsageError(kName, "--forget needs a key image or a digest");
    if (args.Has("--list") == args.Has("--forget")) return UsageError(kName, "give either --list or --forget");
    const std::string path = UsedKeysPath();
    return args.Has("--list") ? List(path) : Forget(path, *args.Value("--forget"));
}

const CommandRegistrar reg({kName, "list the keys used before, or forget one", kUsage, &Run});

}  // namespace
}  // namespace corvane::cli
