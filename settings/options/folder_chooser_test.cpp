// The folder chooser: the tree under "Device Memory" (the home folder) filled
// as folders are opened, the initial folder selected, OK and Cancel, and
// "New Folder" with the names it refuses.

#include "settings/options/folder_chooser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/text.h"
#include "resources/options_resources.h"
#include "settings/options/mode_pages.h"
#include "settings/options/options_test_support.h"
#include "tests/support/test_environment.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/renderer.h"

namespace settings {
namespace {

namespace fs = std::filesystem;
namespace pw = platform;
namespace rs = resources;
using options_testing::RecordingBoxes;
using options_testing::UserScript;
using toolkit::HTREEITEM;

class FolderChooserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rs::RegisterOptionsResources();
    home_dir_ = std::getenv("HOME");
    for (const char* dir : {"A/A1", "A/A2", "B", ".hidden"}) fs::create_directories(home_dir_ / dir);
    ::testing_support::WriteFileBytes(home_dir_ / "file.txt", "x");
  }
  pw::LRESULT Run(OptionsDialog& dialog) {
    script_.Then([&] {
      if (dialog.IsWindow()) pw::PostMessage(dialog, pw::WM_COMMAND, toolkit::IDCANCEL, 0);
    });
    script_.Start();
    pw::LRESULT result = dialog.Run(nullptr);
    script_.Clear();
    return result;
  }
  static std::u16string U(const fs::path& p) { return pw::Utf8ToUtf16(p.string()); }

  // The names of an item's children as the tree holds them.
  static std::vector<std::u16string> Children(pw::HWND tree, HTREEITEM item) {
    std::vector<std::u16string> out;
    for (auto child = pw::SendMessage(tree, toolkit::TVM_GETNEXTITEM, toolkit::TVGN_CHILD, item); child;
         child = pw::SendMessage(tree, toolkit::TVM_GETNEXTITEM, toolkit::TVGN_NEXT, child)) {
      char16_t buffer[256] = {};
      toolkit::TVITEMW query;
      query.mask = toolkit::TVIF_TEXT | toolkit::TVIF_HANDLE;
      query.hItem = static_cast<HTREEITEM>(child);
      query.pszText = buffer;
      query.cchTextMax = 256;
      pw::SendMessage(tree, toolkit::TVM_GETITEMW, 0, reinterpret_cast<pw::LPARAM>(&query));
      out.emplace_back(buffer);
    }
    return out;
  }

  ::testing_support::ScopedTestHome home_;
  fs::path home_dir_;
  UserScript script_;
  RecordingBoxes boxes_;
};

TEST_F(FolderChooserTest, ListsVisibleFoldersAsTheyOpenAndReturnsTheSelectedOne) {
  FolderChooser chooser(U(home_dir_));
  std::u16string root_text;
  std::vector<std::u16string> top, a_before, a_after;
  script_.Then([&] {
    pw::HWND tree = chooser.GetDlgItem(rs::kFolderTree);
    HTREEITEM root = chooser.root_item();
    char16_t buffer[64] = {};
    toolkit::TVITEMW query;
    query.mask = toolkit::TVIF_TEXT | toolkit::TVIF_HANDLE;
    query.hItem = root;
    query.pszText = buffer;
    query.cchTextMax = 64;
    pw::SendMessage(tree, toolkit::TVM_GETITEMW, 0, reinterpret_cast<pw::LPARAM>(&query));
    root_text = buffer;
    EXPECT_EQ(chooser.FolderOf(root), home_dir_);
    top = Children(tree, root);
    HTREEITEM a = chooser.ItemOf(home_dir_ / "A");
    a_before = Children(tree, a);  // A has not been opened: nothing read yet
    toolkit::PostUserExpand(tree, a, true);
    toolkit::PostUserSelect(tree, chooser.ItemOf(home_dir_ / "B"));
  });
  script_.Then([&] {
    a_after = Children(chooser.GetDlgItem(rs::kFolderTree), chooser.ItemOf(home_dir_ / "A"));
    toolkit::PostClick(chooser.menu_bar().GetKeyWindow(0));
  });
  EXPECT_EQ(Run(chooser), toolkit::IDOK);
  EXPECT_EQ(root_text, u"Device Memory");
  EXPECT_EQ(top, (std::vector<std::u16string>{u"A", u"B", u"Documents"})) << "no hidden folder, no file";
  EXPECT_TRUE(a_before.empty());
  EXPECT_EQ(a_after, (std::vector<std::u16string>{u"A1", u"A2"}));
  EXPECT_EQ(chooser.chosen_folder(), U(home_dir_ / "B"));

  // The initial folder is selected when the chooser opens.
  FolderChooser initial(U(home_dir_ / "A" / "A2"));
  script_.Then([&] { toolkit::PostClick(initial.menu_bar().GetKeyWindow(0)); });
  EXPECT_EQ(Run(initial), toolkit::IDOK);
  EXPECT_EQ(initial.chosen_folder(), U(home_dir_ / "A" / "A2"));

  FolderChooser outside(u"/");
  script_.Then([&] { toolkit::PostClick(outside.menu_bar().GetKeyWindow(0)); });
  EXPECT_EQ(Run(outside), toolkit::IDOK);
  EXPECT_EQ(outside.chosen_folder(), U(home_dir_)) << "a folder outside the root selects the root";

  FolderChooser cancelled(U(home_dir_ / "A"));
  EXPECT_EQ(Run(cancelled), toolkit::IDCANCEL);
  EXPECT_EQ(cancelled.chosen_folder(), u"");
}

TEST_F(FolderChooserTest, NewFolderRefusesEmptyEscapingAndTakenNames) {
  fs::create_directories(home_dir_ / "A" / "Taken");
  NewFolderDialog dialog(home_dir_ / "A");
  std::vector<std::u16string> texts;
  std::vector<int> focus;
  for (std::u16string name : {u"", u"  ", u"x/y", u"..", u"../Escape", u"a..b", u"Taken", u"Notes"}) {
    script_.Then([&, name] {
      toolkit::PostUserText(dialog.GetDlgItem(rs::kNewFolderEdit), name);
      toolkit::PostClick(dialog.menu_bar().GetKeyWindow(0));
    });
    script_.Then([&] {
      if (boxes_.boxes.empty()) return;
      EXPECT_EQ(boxes_.boxes.back().caption, u"Dictalo");
      texts.push_back(boxes_.boxes.back().text);
      boxes_.boxes.clear();
      focus.push_back(pw::GetDlgCtrlID(pw::GetFocus()));
    });
  }
  EXPECT_EQ(Run(dialog), toolkit::IDOK);
  ASSERT_EQ(texts.size(), 7u);
  EXPECT_EQ(texts[0], u"Please enter a folder name.");
  EXPECT_EQ(texts[1], u"Please enter a folder name.");
  for (int i : {2, 3, 4, 5}) EXPECT_EQ(texts[i], u"A folder name cannot contain \"/\" or \"..\".") << i;
  EXPECT_NE(texts[6].find(u"\"Taken\" already exists"), std::u16string::npos);
  for (int id : focus) EXPECT_EQ(id, rs::kNewFolderEdit);
  EXPECT_FALSE(fs::exists(home_dir_ / "Escape"));
  EXPECT_FALSE(fs::exists(home_dir_ / "A" / "y"));
  EXPECT_TRUE(fs::is_directory(home_dir_ / "A" / "Notes"));
  EXPECT_EQ(dialog.created(), home_dir_ / "A" / "Notes");
}

TEST_F(FolderChooserTest, NewFolderAppearsInsideTheSelectedFolderAndSavesToIt) {
  AppSettings settings = AppSettings::WithDefaults();
  settings.note_file_path = U(home_dir_ / "A");
  FilePage page(settings);
  script_.Then([&] { toolkit::PostClick(page.GetDlgItem(rs::kBrowseButton)); });
  script_.Then([&] {
    pw::HWND chooser = pw::FindWindow(toolkit::kDialogClass, u"Select Folder");
    ASSERT_NE(chooser, nullptr);
    toolkit::PostClick(pw::GetDlgItem(chooser, rs::kNewFolderButton));
  });
  script_.Then([&] {
    pw::HWND name = pw::FindWindow(toolkit::kDialogClass, u"Create New Folder");
    ASSERT_NE(name, nullptr);
    toolkit::PostUserText(pw::GetDlgItem(name, rs::kNewFolderEdit), u"Voice");
    pw::PostMessage(name, pw::WM_COMMAND, toolkit::IDOK, 0);
  });
  script_.Then([&] {
    pw::HWND chooser = pw::FindWindow(toolkit::kDialogClass, u"Select Folder");
    pw::PostMessage(chooser, pw::WM_COMMAND, toolkit::IDOK, 0);
  });
  script_.Then([&] {
    EXPECT_EQ(pw::GetWindowText(page.GetDlgItem(rs::kSaveToEdit)), U(home_dir_ / "A" / "Voice"));
    toolkit::PostClick(page.menu_bar().GetKeyWindow(0));
  });
  EXPECT_EQ(Run(page), toolkit::IDOK);
  EXPECT_TRUE(fs::is_directory(home_dir_ / "A" / "Voice"));
  EXPECT_EQ(settings.note_file_path, U(home_dir_ / "A" / "Voice"));
}

}  // namespace
}  // namespace settings
