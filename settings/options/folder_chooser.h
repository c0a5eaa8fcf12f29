#pragma once
// "Select Folder": the folder for notes saved as files, chosen in a tree whose
// root, "Device Memory", is the user's home folder. A folder's subfolders are
// read when it is first opened (hidden ones are left out). "New Folder" asks
// for a name ("Create New Folder") and makes the folder inside the selected one.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "resources/options_resources.h"
#include "settings/options/options_dialog.h"
#include "toolkit/common_controls.h"

namespace settings {

class FolderChooser : public OptionsDialog {
 public:
  // initial: the folder shown selected when it lies inside root.
  explicit FolderChooser(std::u16string initial, std::filesystem::path root = HomeFolder());

  // The folder chosen with OK.
  const std::u16string& chosen_folder() const { return chosen_; }

  // The folder a tree item stands for (empty for an unknown item).
  std::filesystem::path FolderOf(toolkit::HTREEITEM item) const;
  toolkit::HTREEITEM root_item() const { return nodes_.empty() ? 0 : nodes_.front().item; }
  // The item of a folder already in the tree (0 when it is not).
  toolkit::HTREEITEM ItemOf(const std::filesystem::path& folder) const;

  // $HOME, or the current folder when it is unset.
  static std::filesystem::path HomeFolder();

 protected:
  void Load() override;
  void Store() override;
  platform::LRESULT OnCommand(platform::WPARAM wparam, platform::LPARAM lparam, bool& handled) override;
  platform::LRESULT OnNotify(int id, toolkit::NMHDR* header, bool& handled) override;

 private:
  struct Node {
    std::filesystem::path folder;
    toolkit::HTREEITEM item = 0;
    bool filled = false;
  };
  platform::HWND Tree() const { return GetDlgItem(resources::kFolderTree); }
  toolkit::HTREEITEM Insert(toolkit::HTREEITEM parent, std::u16string_view text, std::filesystem::path folder);
  // Adds the subfolders of the item's folder once.
  void Fill(toolkit::HTREEITEM item);
  void Expand(toolkit::HTREEITEM item);
  std::optional<std::size_t> NodeOf(toolkit::HTREEITEM item) const;
  toolkit::HTREEITEM Selected() const;
  void SelectInitial();
  void NewFolder();

  std::u16string initial_;
  std::filesystem::path root_;
  std::vector<Node> nodes_;
  std::u16string chosen_;
  bool naming_ = false;  // the new-folder dialog is open
};

// "Create New Folder": a name for a folder made inside parent. OK makes the
// folder; a name that is empty, holds "/" or "..", or is taken, is refused
// with a message and the dialog stays open.
class NewFolderDialog : public OptionsDialog {
 public:
  explicit NewFolderDialog(std::filesystem::path parent);
  const std::filesystem::path& created() const { return created_; }

  // The message refusing name inside parent, or nothing when it is fine.
  static std::optional<std::u16string> CheckName(const std::filesystem::path& parent, std::u16string_view name);

 protected:
  void Load() override {}
  bool Validate() override;
  void Store() override {}

 private:
  std::filesystem::path parent_;
  std::filesystem::path created_;
};

}  // namespace settings
