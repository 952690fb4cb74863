#pragma once
// The encryptor's fixed texts: its messages and log lines as the user sees
// them (the windows add their captions and tooltips here).
#include <string_view>

namespace corvane::encrypt_texts {

// Messages (information icon unless said otherwise).
inline constexpr std::u16string_view kNoMessage = u"No Message.";
inline constexpr std::u16string_view kNoKey = u"No Keyfile Selected.";
inline constexpr std::u16string_view kNoImage = u"No Image File Selected.";
inline constexpr std::u16string_view kKeyTooNarrow = u"Key Pixel Width Too Small.";
inline constexpr std::u16string_view kKeyTooLow = u"Key Pixel Height Too Small.";
inline constexpr std::u16string_view kTooLarge = u"Message Too Large for Image, Try a Larger Image and Key.";
inline constexpr std::u16string_view kSelectKey = u"Please select a Key image file.";
inline constexpr std::u16string_view kCompressionError = u"COMPRESSION ERROR";  // critical icon
inline constexpr std::u16string_view kContainsEndDelimiter =
    u"Message contains the key's end delimiter; compress it or use another key.";
// A container that would not parse back to the message for another reason.
inline constexpr std::u16string_view kWouldNotReadBack =
    u"Message would not read back with this key; compress it or use another key.";
// The question before a key hides a second, different message (No is the
// default answer): the date and the saved file's name go between the parts.
inline constexpr std::u16string_view kKeyReuseOn = u"This key already hid another message on ";
inline constexpr std::u16string_view kKeyReuseRisk =
    u"). A one-time pad key used twice lets anyone holding both images compare them. Encrypt anyway?";

// Log lines and labels.
inline constexpr std::u16string_view kWorking = u"Working...";
inline constexpr std::u16string_view kPass1 = u"Pass 1 of 2...";
inline constexpr std::u16string_view kPass2 = u"Pass 2 of 2...";
inline constexpr std::u16string_view kAdjustment = u"Adjustment: ";
inline constexpr std::u16string_view kEncodeUnsuccessful = u"Encode Unsuccessful.";
inline constexpr std::u16string_view kTooFewPixels = u"Not enough textured pixels for the message.";
inline constexpr std::u16string_view kSaturation = u"Too much image saturation.";
inline constexpr std::u16string_view kNotReadBack = u"The message does not read back from the result.";
inline constexpr std::u16string_view kUnsuccessful = u"Unsuccessful.";
inline constexpr std::u16string_view kSaved = u"Encrypted Image Saved. ";
inline constexpr std::u16string_view kSavedToFallback = u"Image Saved to the home folder:";
inline constexpr std::u16string_view kNotSaved = u"Encrypted Image Not Saved: ";
inline constexpr std::u16string_view kNothingWiped = u"Nothing was wiped.";
inline constexpr std::u16string_view kWipingKey = u"Wiping Key File.";
inline constexpr std::u16string_view kWipingCarrier = u"Wiping Original Image.";
inline constexpr std::u16string_view kLedgerWarning = u"Warning: ";

}  // namespace corvane::encrypt_texts
