#pragma once
// The decryptor's fixed texts: its messages, log lines, captions and
// tooltips, as the user sees them.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/number_format.hpp"

namespace corvane::decrypt_texts {

// Messages (information icon unless said otherwise).
inline constexpr std::u16string_view kNoImage = u"No Image File Selected.";
inline constexpr std::u16string_view kNoKey = u"No Keyfile Selected.";
inline constexpr std::u16string_view kSelectKey = u"Please select a Key image file.";
inline constexpr std::u16string_view kKeyTooNarrow = u"Key Pixel Width Too Small.";
inline constexpr std::u16string_view kKeyTooLow = u"Key Pixel Height Too Small.";
inline constexpr std::u16string_view kNotFound = u"Message Text Not Found.";
inline constexpr std::u16string_view kDecompressionError = u"DECOMPRESSION ERROR";  // critical icon
inline constexpr std::u16string_view kPrintingError = u"Printing caused an error.";

// Log lines.
inline constexpr std::u16string_view kWipingKey = u"Wiping Key File.";
inline constexpr std::u16string_view kWipingImage = u"Wiping Image File.";
inline constexpr std::u16string_view kImageNotWiped = u"Image File Not Wiped.";
inline constexpr std::u16string_view kDigestMismatchNothingWiped = u"Digest Mismatch: Nothing Wiped.";
inline constexpr std::u16string_view kNotDelivered = u"The message could not be delivered: nothing was wiped.";

// The window.
inline constexpr std::u16string_view kWindowTitle = u"Corvane-[Decrypt]";
inline constexpr std::u16string_view kDecryptButton = u"Decrypt Image";
inline constexpr std::u16string_view kWorking = u"Working...";
inline constexpr std::u16string_view kSelectImageTitle = u"Select Image File";
inline constexpr std::u16string_view kSelectKeyTitle = u"Select Key File";
inline constexpr std::u16string_view kWipeImageTip = u"Delete image to prevent forensic comparisions.";
inline constexpr std::u16string_view kDigestTip = u"SHA256 hash value of the message.";

// The time a decryption took, as the window and the command show it.
inline std::u16string ElapsedCaption(int64_t milliseconds) {
    return u"[" + FormatNumber(static_cast<double>(milliseconds) * 0.001, "#,##0") + u" Seconds]";
}

}  // namespace corvane::decrypt_texts
