#include "delivery/dialogs/note_info.h"

#include <algorithm>

#include "delivery/kept_notes.h"
#include "platform/text.h"

namespace delivery::dialogs {
namespace {

std::uint32_t Le32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

std::uint64_t Le64(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint64_t>(Le32(bytes, at)) | (static_cast<std::uint64_t>(Le32(bytes, at + 4)) << 32);
}

bool IsWav(std::string_view content) {
  return content.size() >= 12 && content.substr(0, 4) == "RIFF" && content.substr(8, 4) == "WAVE";
}

bool IsOgg(std::string_view content) { return content.size() >= 4 && content.substr(0, 4) == "OggS"; }

std::optional<std::uint32_t> WavLength(std::string_view content) {
  std::uint32_t byte_rate = 0;
  std::size_t at = 12;
  while (at + 8 <= content.size()) {
    std::string_view id = content.substr(at, 4);
    std::uint64_t size = Le32(content, at + 4);
    std::size_t data = at + 8;
    if (size > content.size() - data) return std::nullopt;  // cut short
    if (id == "fmt " && size >= 12) byte_rate = Le32(content, data + 8);
    if (id == "data") {
      if (byte_rate == 0) return std::nullopt;
      return static_cast<std::uint32_t>(size / byte_rate);
    }
    at = data + size + (size & 1);
  }
  return std::nullopt;
}

// Walks the pages; the rate comes from the identification header on the first
// page, the length from the last complete page that ends a packet.
std::optional<std::uint32_t> OggLength(std::string_view content) {
  constexpr std::size_t kHeaderSize = 27;
  constexpr std::uint64_t kNoGranule = ~std::uint64_t{0};
  std::uint32_t rate = 0;
  std::uint64_t granule = kNoGranule;
  std::size_t at = 0;
  bool first = true;
  while (at + kHeaderSize <= content.size() && content.substr(at, 4) == "OggS") {
    std::size_t segments = static_cast<std::uint8_t>(content[at + 26]);
    std::size_t body = at + kHeaderSize + segments;
    if (body > content.size()) break;
    std::size_t body_size = 0;
    for (std::size_t i = 0; i < segments; ++i) body_size += static_cast<std::uint8_t>(content[at + kHeaderSize + i]);
    if (body_size > content.size() - body) break;
    if (first) {
      // 0x01 "vorbis", version (4), channels (1), rate (4).
      if (body_size < 16 || content.substr(body, 7) != std::string_view("\x01vorbis", 7)) return std::nullopt;
      rate = Le32(content, body + 12);
      first = false;
    }
    std::uint64_t page_granule = Le64(content, at + 6);
    if (page_granule != kNoGranule) granule = page_granule;
    at = body + body_size;
  }
  if (rate == 0 || granule == kNoGranule) return std::nullopt;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(granule / rate, UINT32_MAX));
}

bool EndsWithNoCase(std::u16string_view text, std::u16string_view tail) {
  if (text.size() < tail.size()) return false;
  return std::equal(tail.begin(), tail.end(), text.end() - tail.size(), [](char16_t a, char16_t b) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; };
    return lower(a) == lower(b);
  });
}

std::u16string Number(std::uint32_t value) { return platform::Utf8ToUtf16(std::to_string(value)); }

}  // namespace

std::vector<NotesListRow> NotesListRows(std::vector<PendingNote> notes) {
  // Arrival order within a date, then newest first with later arrivals ahead.
  std::stable_sort(notes.begin(), notes.end(), [](const PendingNote& a, const PendingNote& b) { return a.date < b.date; });
  std::reverse(notes.begin(), notes.end());
  std::vector<NotesListRow> rows;
  rows.reserve(notes.size());
  for (const PendingNote& note : notes)
    rows.push_back(NotesListRow{note.id, PendingNoteDateText(note.date), PendingNoteSizeText(note.size), note.recipient});
  return rows;
}

std::u16string RecordingEncodingText(std::u16string_view file_name, std::string_view content) {
  if (IsOgg(content)) return u"Ogg Vorbis";
  if (IsWav(content)) return u"WAV";
  if (content.empty()) {
    if (EndsWithNoCase(file_name, u".ogg")) return u"Ogg Vorbis";
    if (EndsWithNoCase(file_name, u".wav")) return u"WAV";
  }
  return u"Unknown";
}

std::optional<std::uint32_t> RecordingLengthSeconds(std::string_view content) {
  if (IsWav(content)) return WavLength(content);
  if (IsOgg(content)) return OggLength(content);
  return std::nullopt;
}

std::u16string LengthText(std::optional<std::uint32_t> seconds) {
  if (!seconds) return u"Unknown";
  std::u16string text = Number(*seconds / 60) + u":";
  if (*seconds % 60 < 10) text += u"0";
  return text + Number(*seconds % 60);
}

std::u16string FillTemplate(std::u16string_view pattern, const std::vector<std::u16string>& args) {
  std::u16string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == u'%' && i + 1 < pattern.size() && pattern[i + 1] == u's') {
      if (next < args.size()) out += args[next];
      ++next;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::u16string NoteInfoText(std::u16string_view pattern, std::u16string_view encoding, std::u16string_view size,
                            std::u16string_view length, std::u16string_view date) {
  // The screen is narrow: every item on a line of its own.
  const std::u16string separator = u"\n";
  return FillTemplate(pattern, {std::u16string(encoding), separator, std::u16string(size), std::u16string(length),
                                separator, std::u16string(date)});
}

std::u16string ProposedSaveName(std::u16string_view attachment_name, std::size_t limit) {
  std::u16string name = NoteFileNameFromSubject(attachment_name);
  if (name.empty() || name == u"." || name == u"..") name = u"note";
  if (limit == 0) return {};
  if (name.size() < limit) return name;
  // Keep a short extension; cut the stem.
  std::size_t dot = name.rfind(u'.');
  std::u16string extension = dot != std::u16string::npos && name.size() - dot <= 8 ? name.substr(dot) : u"";
  std::size_t keep = limit - 1 > extension.size() ? limit - 1 - extension.size() : 0;
  return name.substr(0, keep) + extension.substr(0, limit - 1 - keep);
}

std::u16string DisplayFileName(std::u16string_view path) {
  std::size_t slash = path.find_last_of(u"/\\");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace delivery::dialogs
