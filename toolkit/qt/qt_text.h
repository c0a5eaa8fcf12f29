#pragma once
// Text between the program (UTF-16 std::u16string) and Qt (QString), in one place.

#include <string>
#include <string_view>

#include <QString>

namespace toolkit::qt {

inline QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::u16string FromQString(const QString& text) { return text.toStdU16String(); }

}  // namespace toolkit::qt
