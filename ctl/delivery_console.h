#pragma once
// What the delivery commands share: a message pump for the calling thread, a
// message box presenter that prints each box instead of showing it, and a look
// at the Outbox of the delivery volume without keeping it open.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "toolkit/message_box.h"

namespace ctl {

// Handles this thread's messages until `done` holds or `limit` has passed; true
// when `done` held. `tick` runs after each round (e.g. to print status texts).
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
               const std::function<void()>& tick = {});

// Prints every box as "<caption>: <text>" on `out` and answers it with its
// default button; the check box of a notice keeps its initial state. Installs
// itself for its lifetime.
class PrintingMessageBoxes : public toolkit::MessageBoxPresenter {
 public:
  explicit PrintingMessageBoxes(std::ostream& out);
  ~PrintingMessageBoxes() override;
  toolkit::MessageBoxAnswer Present(const toolkit::MessageBoxRequest& request) override;
  // Boxes with the error icon shown so far.
  std::size_t errors() const { return errors_; }

 private:
  std::ostream& out_;
  toolkit::MessageBoxPresenter* previous_;
  std::size_t errors_ = 0;
};

// The number of notes waiting in the Outbox of the volume in `install_dir`: 0
// when there is no volume file, -1 when it cannot be read.
long CountOutbox(const std::filesystem::path& install_dir);

// The regular files in `folder` (none when it does not exist).
std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder);

// Activity log lines appended after `from` bytes (for a failed delivery's report).
std::string LogSince(const std::filesystem::path& log_file, std::uintmax_t from);
std::uintmax_t FileSizeOrZero(const std::filesystem::path& path);

}  // namespace ctl
