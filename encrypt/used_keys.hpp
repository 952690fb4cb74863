#pragma once
// The ledger of used keys. A one-time pad key that hides two different
// messages lets anyone holding both images compare them, so the encryptor
// remembers which key hid which message, and asks before a key hides a
// second one. The ledger holds digests only, never a key or a message:
//
//   <key> <message> <date> <saved file>
//
// one line per encryption, where <key> identifies the key's pixels and
// comment, <message> the message as it was stored (keyed with the key, so
// that nobody without the key can test a guessed message against it), <date>
// is UTC as 2026-12-08T16:30:05Z and <saved file> the full path of the image,
// with "\\", "\n" and "\r" escaped. Lines starting with "#" are comments.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/pixel_grid.hpp"

namespace corvane {

// What the ledger knows a key by. `secret` can be worked out only from the
// key itself and is never written anywhere.
struct KeyIdentity {
    std::array<uint8_t, 32> secret{};
    std::string keyDigest;  // 64 lowercase hexadecimal digits

    // The digest of a message as a container with or without compression:
    // the same text stored both ways puts two different containers under
    // the key.
    std::string MessageDigest(std::u16string_view message, bool compressed) const;
};

// SHA-256 over the key's size, comment and every pixel (rows hashed on two
// threads for large keys), then the two digests derived from it.
KeyIdentity IdentifyKey(const PixelGrid& key, std::u16string_view comment);

struct UsedKeyEntry {
    std::string keyDigest;
    std::string messageDigest;
    std::string date;  // UTC, 2026-12-08T16:30:05Z
    std::string file;  // the saved image, as given
};

// $XDG_DATA_HOME/corvane/used-keys when XDG_DATA_HOME is an absolute path,
// else $HOME/.local/share/corvane/used-keys ($HOME from the password
// database when it is not set).
std::string UsedKeysPath();

struct UsedKeys {
    std::vector<UsedKeyEntry> entries;
    int damagedLines = 0;
    // False when a ledger exists but cannot be read: it must then not be
    // written either, or what it holds would be lost.
    bool readable = true;
    // A damaged or unreadable ledger, in words for the user; empty when
    // all is well. It never stops an encryption.
    std::string warning;
};

// A missing ledger is an empty one.
UsedKeys ReadUsedKeys(const std::string& path);

// The earliest entry of the key for another message, or nullptr.
const UsedKeyEntry* OtherMessageOfKey(const UsedKeys& ledger, const std::string& keyDigest,
                                      const std::string& messageDigest);

// Adds one entry. The ledger is read again under a lock on its folder (so
// that two encryptions at once both land) and written whole to a new file
// that replaces the old one in one step: a crash leaves the old ledger or
// the new one, never a part. Damaged lines are kept as they were. Returns
// why the entry could not be added, or empty.
std::string RecordKeyUse(const std::string& path, const UsedKeyEntry& entry);

// Removes every entry of the key the same way; `removed` counts them.
std::string ForgetKey(const std::string& path, const std::string& keyDigest, int& removed);

// Now, as the ledger writes dates.
std::string LedgerDateNow();
// A ledger date in local time, "2026-12-08 17:30"; as stored when it cannot
// be read as a date.
std::string LocalLedgerDate(const std::string& date);

// "This key already hid another message on <date> (<file>). A one-time pad
// key used twice lets anyone holding both images compare them. Encrypt
// anyway?"
std::u16string KeyReuseQuestion(const UsedKeyEntry& entry);

// One entry as a ledger line (without its line break), and back; false
// for a line that is not an entry.
std::string LedgerLine(const UsedKeyEntry& entry);
bool ParseLedgerLine(std::string_view line, UsedKeyEntry& entry);

}  // namespace corvane
