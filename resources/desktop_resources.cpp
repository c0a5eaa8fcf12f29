#include "resources/desktop_resources.h"

#include "toolkit/resources.h"

namespace resources {

std::u16string_view BitmapIconName(UINT bitmap_id) {
  switch (bitmap_id) {
    case kStopSendBitmap:
    case kStopSendBitmapHigh:
      return u"dictalo-stop-send";
    case kStopSaveBitmap:
    case kStopSaveBitmapHigh:
      return u"dictalo-stop-save";
    case kCancelBitmap:
    case kCancelBitmapHigh:
      return u"dictalo-cancel";
    case kStopSendDisabledBitmap:
    case kStopSendDisabledBitmapHigh:
      return u"dictalo-stop-send-disabled";
    case kStopSaveDisabledBitmap:
    case kStopSaveDisabledBitmapHigh:
      return u"dictalo-stop-save-disabled";
    case kCancelDisabledBitmap:
    case kCancelDisabledBitmapHigh:
      return u"dictalo-cancel-disabled";
    default:
      return {};
  }
}

void RegisterDesktopResources() {
  toolkit::AddString(kTrayAppString, u"Dictalo");
  toolkit::AddString(kTrayRecordingString, u"recording");
  toolkit::AddString(kTrayOnePendingString, u"1 note waiting to be sent");
  toolkit::AddString(kTrayManyPendingString, u"%d notes waiting to be sent");
  toolkit::AddString(kNoteSentTitleString, u"Note sent");
  toolkit::AddString(kNoteSavedTitleString, u"Note saved");
  toolkit::AddString(kNoteNotSentTitleString, u"Note could not be sent");
  toolkit::AddString(kNoteSentTextString, u"Your voice note was sent.");
  toolkit::AddString(kNoteSavedTextString, u"Your voice note was saved.");
  toolkit::AddString(kNoteNotSentTextString, u"Your voice note is kept with the unsent notes.");
}

}  // namespace resources
