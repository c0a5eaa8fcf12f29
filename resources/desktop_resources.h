#pragma once
// What the program shows on the desktop outside its own windows: the texts of
// its tray icon and notifications, and the names under which the icon theme
// (share/icons/hicolor) holds its pictures, the status window's button bitmaps
// among them. RegisterDesktopResources puts the texts into the toolkit's
// resource table; calling it again is harmless.

#include <string_view>

#include "platform/window_system.h"

namespace resources {

using platform::UINT;

// Tray icon tooltip: "<app>: <part>, <part>".
inline constexpr UINT kTrayAppString = 4000;            // "Dictalo"
inline constexpr UINT kTrayRecordingString = 4001;      // "recording"
inline constexpr UINT kTrayOnePendingString = 4002;     // "1 note waiting to be sent"
inline constexpr UINT kTrayManyPendingString = 4003;    // "%d notes waiting to be sent"

// Notification titles, and the texts used when the caller has none.
inline constexpr UINT kNoteSentTitleString = 4010;      // "Note sent"
inline constexpr UINT kNoteSavedTitleString = 4011;     // "Note saved"
inline constexpr UINT kNoteNotSentTitleString = 4012;   // "Note could not be sent"
inline constexpr UINT kNoteSentTextString = 4013;
inline constexpr UINT kNoteSavedTextString = 4014;
inline constexpr UINT kNoteNotSentTextString = 4015;

// Icon theme names of the application icons.
inline constexpr std::u16string_view kAppIcon = u"dictalo";
inline constexpr std::u16string_view kRecordingIcon = u"dictalo-recording";
inline constexpr std::u16string_view kPendingIcon = u"dictalo-pending";

// The status window's button bitmaps (normal / high resolution; both are drawn
// from one scalable picture).
inline constexpr UINT kStopSendBitmap = 4030;
inline constexpr UINT kStopSendBitmapHigh = 4031;
inline constexpr UINT kStopSaveBitmap = 4032;
inline constexpr UINT kStopSaveBitmapHigh = 4033;
inline constexpr UINT kCancelBitmap = 4034;
inline constexpr UINT kCancelBitmapHigh = 4035;
inline constexpr UINT kStopSendDisabledBitmap = 4036;
inline constexpr UINT kStopSendDisabledBitmapHigh = 4037;
inline constexpr UINT kStopSaveDisabledBitmap = 4038;
inline constexpr UINT kStopSaveDisabledBitmapHigh = 4039;
inline constexpr UINT kCancelDisabledBitmap = 4040;
inline constexpr UINT kCancelDisabledBitmapHigh = 4041;

// The icon theme name of a bitmap ("dictalo-stop-send", "dictalo-cancel-disabled",
// ...; the file is share/icons/hicolor/scalable/actions/<name>.svg), or an empty
// view for an id that is no bitmap of ours.
std::u16string_view BitmapIconName(UINT bitmap_id);

void RegisterDesktopResources();

}  // namespace resources
