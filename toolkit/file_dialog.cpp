#include "toolkit/file_dialog.h"

#include "toolkit/renderer.h"

namespace toolkit {

std::optional<std::u16string> GetFileName(const FileDialogRequest& request) {
  Renderer* renderer = CurrentRenderer();
  FileDialogPresenter* presenter = renderer ? renderer->FileDialogs() : nullptr;
  if (!presenter) return std::nullopt;
  std::optional<std::u16string> path = presenter->Present(request);
  if (path && path->size() > request.max_path) return std::nullopt;
  return path;
}

}  // namespace toolkit
