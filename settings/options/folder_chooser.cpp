#include "settings/options/folder_chooser.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "platform/text.h"
#include "toolkit/controls.h"
#include "toolkit/message_box.h"

namespace settings {

namespace fs = std::filesystem;
namespace pw = platform;
namespace rs = resources;
using toolkit::HTREEITEM;

namespace {

constexpr std::u16string_view kRootText = u"Device Memory";

fs::path PathOf(std::u16string_view text) { return fs::path(pw::Utf16ToUtf8(text)); }
std::u16string TextOf(const fs::path& path) { return pw::Utf8ToUtf16(path.string()); }

// The visible subfolders of folder, by name.
std::vector<fs::path> Subfolders(const fs::path& folder) {
  std::vector<fs::path> out;
  std::error_code ec;
  fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code type_ec;
    if (it->is_directory(type_ec)) out.push_back(it->path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

FolderChooser::FolderChooser(std::u16string initial, fs::path root)
    : OptionsDialog(rs::kSelectFolderDialog, rs::kOptionsOkCancelMenuBar), initial_(std::move(initial)), root_(std::move(root)) {}

fs::path FolderChooser::HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return fs::path(home);
  std::error_code ec;
  return fs::current_path(ec);
}

HTREEITEM FolderChooser::Insert(HTREEITEM parent, std::u16string_view text, fs::path folder) {
  std::u16string label(text);
  toolkit::TVINSERTSTRUCTW insert;
  insert.hParent = parent;
  insert.hInsertAfter = toolkit::TVI_LAST;
  insert.item.mask = toolkit::TVIF_TEXT | toolkit::TVIF_PARAM | toolkit::TVIF_CHILDREN;
  insert.item.pszText = label.data();
  insert.item.cChildren = 1;  // known when it is first opened
  insert.item.lParam = static_cast<pw::LPARAM>(nodes_.size());
  auto item = static_cast<HTREEITEM>(
      pw::SendMessage(Tree(), toolkit::TVM_INSERTITEMW, 0, reinterpret_cast<pw::LPARAM>(&insert)));
  if (item) nodes_.push_back(Node{std::move(folder), item, false});
  return item;
}

std::optional<std::size_t> FolderChooser::NodeOf(HTREEITEM item) const {
  if (!item) return std::nullopt;
  toolkit::TVITEMW query;
  query.mask = toolkit::TVIF_PARAM | toolkit::TVIF_HANDLE;
  query.hItem = item;
  if (!pw::SendMessage(Tree(), toolkit::TVM_GETITEMW, 0, reinterpret_cast<pw::LPARAM>(&query))) return std::nullopt;
  auto index = static_cast<std::size_t>(query.lParam);
  if (index >= nodes_.size() || nodes_[index].item != item) return std::nullopt;
  return index;
}

fs::path FolderChooser::FolderOf(HTREEITEM item) const {
  auto index = NodeOf(item);
  return index ? nodes_[*index].folder : fs::path();
}

HTREEITEM FolderChooser::ItemOf(const fs::path& folder) const {
  for (const Node& node : nodes_)
    if (node.folder == folder) return node.item;
  return 0;
}

void FolderChooser::Fill(HTREEITEM item) {
  auto index = NodeOf(item);
  if (!index || nodes_[*index].filled) return;
  nodes_[*index].filled = true;
  const fs::path folder = nodes_[*index].folder;  // nodes_ grows below
  auto children = Subfolders(folder);
  for (const fs::path& child : children) Insert(item, TextOf(child.filename()), child);
  if (children.empty()) {
    toolkit::TVITEMW update;
    update.mask = toolkit::TVIF_CHILDREN | toolkit::TVIF_HANDLE;
    update.hItem = item;
    update.cChildren = 0;
    pw::SendMessage(Tree(), toolkit::TVM_SETITEMW, 0, reinterpret_cast<pw::LPARAM>(&update));
  }
}

void FolderChooser::Expand(HTREEITEM item) {
  Fill(item);
  pw::SendMessage(Tree(), toolkit::TVM_EXPAND, toolkit::TVE_EXPAND, static_cast<pw::LPARAM>(item));
}

HTREEITEM FolderChooser::Selected() const {
  return static_cast<HTREEITEM>(pw::SendMessage(Tree(), toolkit::TVM_GETNEXTITEM, toolkit::TVGN_CARET, 0));
}

void FolderChooser::Load() {
  nodes_.clear();
  HTREEITEM root = Insert(toolkit::TVI_ROOT, kRootText, root_);
  if (!root) return;
  Expand(root);
  SelectInitial();
}

// Opens the tree down to the initial folder when it lies inside the root; else
// the root stays selected.
void FolderChooser::SelectInitial() {
  HTREEITEM item = root_item();
  fs::path initial = PathOf(initial_).lexically_normal();
  fs::path relative = initial.lexically_relative(root_.lexically_normal());
  if (!initial_.empty() && !relative.empty() && *relative.begin() != "..") {
    for (const fs::path& part : relative) {
      if (part == ".") continue;
      Expand(item);
      HTREEITEM next = ItemOf(FolderOf(item) / part);
      if (!next) break;
      item = next;
    }
  }
  pw::SendMessage(Tree(), toolkit::TVM_SELECTITEM, toolkit::TVGN_CARET, static_cast<pw::LPARAM>(item));
}

void FolderChooser::Store() {
  HTREEITEM item = Selected();
  fs::path folder = FolderOf(item ? item : root_item());
  chosen_ = TextOf(folder.empty() ? root_ : folder);
}

pw::LRESULT FolderChooser::OnNotify(int, toolkit::NMHDR* header, bool& handled) {
  if (!header || header->code != toolkit::TVN_ITEMEXPANDINGW) return 0;
  const auto* tree = reinterpret_cast<const toolkit::NMTREEVIEWW*>(header);
  if (tree->action == toolkit::TVE_EXPAND) Fill(tree->itemNew.hItem);
  handled = true;
  return 0;  // let it open
}

pw::LRESULT FolderChooser::OnCommand(pw::WPARAM wparam, pw::LPARAM, bool& handled) {
  if (pw::LOWORD(wparam) != rs::kNewFolderButton || pw::HIWORD(wparam) != toolkit::BN_CLICKED) return 0;
  handled = true;
  if (naming_) return 0;
  naming_ = true;
  NewFolder();
  naming_ = false;
  return 0;
}

void FolderChooser::NewFolder() {
  HTREEITEM parent = Selected();
  if (!parent) parent = root_item();
  fs::path folder = FolderOf(parent);
  if (folder.empty()) return;
  NewFolderDialog dialog(folder);
  if (dialog.Run(GetSafeHwnd()) != toolkit::IDOK || !IsWindow()) return;
  // Shown where the user will look for it: inside its parent, selected.
  Expand(parent);
  HTREEITEM made = ItemOf(dialog.created());
  if (!made) made = Insert(parent, TextOf(dialog.created().filename()), dialog.created());
  if (made) pw::SendMessage(Tree(), toolkit::TVM_SELECTITEM, toolkit::TVGN_CARET, static_cast<pw::LPARAM>(made));
}

// ---- Create New Folder ----

NewFolderDialog::NewFolderDialog(fs::path parent)
    : OptionsDialog(rs::kNewFolderDialog, rs::kOptionsOkCancelMenuBar), parent_(std::move(parent)) {}

std::optional<std::u16string> NewFolderDialog::CheckName(const fs::path& parent, std::u16string_view name) {
  if (name.find_first_not_of(u" \t") == std::u16string_view::npos) return u"Please enter a folder name.";
  // A name is one folder inside the selected one, never a way out of it.
  if (name.find(u'/') != std::u16string_view::npos || name.find(u"..") != std::u16string_view::npos ||
      name == u"." || name.find(u'\0') != std::u16string_view::npos)
    return u"A folder name cannot contain \"/\" or \"..\".";
  std::error_code ec;
  if (fs::exists(fs::symlink_status(parent / PathOf(name), ec)))
    return u"A folder or file named \"" + std::u16string(name) + u"\" already exists here.";
  return std::nullopt;
}

bool NewFolderDialog::Validate() {
  std::u16string name = Text(rs::kNewFolderEdit);
  if (auto refusal = CheckName(parent_, name)) {
    Refuse(rs::kNewFolderEdit, *refusal);
    return false;
  }
  fs::path folder = parent_ / PathOf(name);
  std::error_code ec;
  if (!fs::create_directory(folder, ec)) {
    Refuse(rs::kNewFolderEdit, u"The folder could not be created.");
    return false;
  }
  created_ = folder;
  return true;
}

}  // namespace settings
