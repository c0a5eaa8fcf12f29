#include "mime/message_ids.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace mime {
namespace {

std::once_flag g_seeded;

}  // namespace

unsigned DrawRandom() {
  std::call_once(g_seeded, [] {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::srand(static_cast<unsigned>(ts.tv_sec ^ ts.tv_nsec ^ (static_cast<long>(getpid()) << 16)));
  });
  return static_cast<unsigned>(std::rand()) & 0x7FFF;
}

std::string FormatMessageIdText(const platform::SystemTime& t, unsigned r1, unsigned r2) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04u%02u%02u%02u%02u%02u%04u@%04u%04u", unsigned{t.year}, unsigned{t.month},
                unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second}, unsigned{t.milliseconds},
                r2, r1);
  return buf;
}

std::string FormatBoundary(const platform::SystemTime& t, unsigned r) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "----------=_%04u%02u%02u%02u%02u%02u%04u%04u", unsigned{t.year},
                unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second},
                unsigned{t.milliseconds}, r);
  return buf;
}

std::string NewMessageIdText() {
  platform::SystemTime now = platform::GetLocalTime();
  unsigned r1 = DrawRandom();
  unsigned r2 = DrawRandom();
  return FormatMessageIdText(now, r1, r2);
}

std::string NewBoundary() { return FormatBoundary(platform::GetLocalTime(), DrawRandom()); }

}  // namespace mime
