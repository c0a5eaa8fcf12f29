#include "toolkit/qt/qt_message_box.h"

#include <algorithm>
#include <cstdlib>

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>

#include "toolkit/qt/gui_thread.h"
#include "toolkit/qt/qt_text.h"

namespace toolkit::qt {
namespace pw = platform;

namespace {


struct ButtonName {
  int id;
  QMessageBox::StandardButton button;
};
constexpr ButtonName kButtons[] = {
    {IDOK, QMessageBox::Ok},       {IDCANCEL, QMessageBox::Cancel}, {IDABORT, QMessageBox::Abort},
    {IDRETRY, QMessageBox::Retry}, {IDIGNORE, QMessageBox::Ignore}, {IDYES, QMessageBox::Yes},
    {IDNO, QMessageBox::No},
};

QMessageBox::StandardButton ToStandard(int id) {
  for (const auto& b : kButtons)
    if (b.id == id) return b.button;
  return QMessageBox::NoButton;
}

int FromStandard(QMessageBox::StandardButton button) {
  for (const auto& b : kButtons)
    if (b.button == button) return b.id;
  return 0;
}

QMessageBox::Icon ToIcon(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
      return QMessageBox::Warning;
    case MB_ICONASTERISK:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

bool Scripted(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

QWidget* OwnerWindow(const OwnerLookup& lookup, pw::HWND owner) {
  QWidget* widget = owner && lookup ? lookup(owner) : nullptr;
  return widget ? widget->window() : nullptr;
}

}  // namespace

// ---- message boxes ----

struct QtMessageBoxPresenter::Pending {
  MessageBoxRequest request;
  pw::Event done{true, false};
  std::mutex mu;
  bool answered = false;
  MessageBoxAnswer answer;
  QPointer<QMessageBox> box;  // GUI thread only

  void Finish(MessageBoxAnswer result) {
    {
      std::lock_guard lock(mu);
      if (answered) return;
      answered = true;
      answer = result;
    }
    done.Set();
  }
  void FinishWithoutChoice() { Finish(MessageBoxAnswer{AnswerWithoutChoice(request), request.checked}); }
  // GUI thread.
  void Close() {
    FinishWithoutChoice();
    if (box) box->close();
    if (box) box->deleteLater();
  }
};

int AnswerWithoutChoice(const MessageBoxRequest& request) {
  const auto& buttons = request.buttons;
  if (std::find(buttons.begin(), buttons.end(), IDCANCEL) != buttons.end()) return IDCANCEL;
  if (buttons.size() == 1) return buttons.front();
  return request.default_button;
}

QtMessageBoxPresenter::QtMessageBoxPresenter(GuiThread& gui, OwnerLookup owner_widget)
    : gui_(gui), owner_widget_(std::move(owner_widget)) {}

QtMessageBoxPresenter::~QtMessageBoxPresenter() = default;

MessageBoxAnswer QtMessageBoxPresenter::Present(const MessageBoxRequest& request) {
  if (Scripted("DICTALO_MESSAGEBOX_ANSWERS")) return scripted_.Present(request);
  auto pending = std::make_shared<Pending>();
  pending->request = request;
  if (pending->request.buttons.empty()) pending->request.buttons = MessageBoxButtons(request.type);
  {
    std::lock_guard lock(mu_);
    open_.insert(pending);
  }
  auto show = [this, pending] {
    const MessageBoxRequest& r = pending->request;
    QWidget* owner = OwnerWindow(owner_widget_, r.owner);
    auto* box = new QMessageBox(owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(ToQString(r.caption));
    box->setText(ToQString(r.text));
    box->setTextFormat(Qt::PlainText);
    box->setIcon(ToIcon(r.type));
    for (int id : r.buttons) box->addButton(ToStandard(id));
    box->setDefaultButton(ToStandard(r.default_button));
    if (r.has_check) {
      auto* check = new QCheckBox(ToQString(r.check_label));
      check->setChecked(r.checked);
      box->setCheckBox(check);
    }
    box->setWindowModality(owner ? Qt::WindowModal : Qt::NonModal);
    QObject::connect(box, &QMessageBox::finished, box, [pending, box] {
      MessageBoxAnswer answer{0, pending->request.checked};
      if (QAbstractButton* clicked = box->clickedButton()) answer.button = FromStandard(box->standardButton(clicked));
      if (answer.button == 0) answer.button = AnswerWithoutChoice(pending->request);
      if (box->checkBox()) answer.checked = box->checkBox()->isChecked();
      pending->Finish(answer);
    });
    pending->box = box;
    box->show();
    // QMessageBox settles its window flags when first shown: the hint comes after.
    if (r.type & MB_TOPMOST) {
      box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
      box->show();
    }
    if (r.type & (MB_SETFOREGROUND | MB_TOPMOST)) {
      box->raise();
      box->activateWindow();
    }
  };

  if (gui_.IsGuiThread()) {
    // Asked on the GUI thread itself (nothing of the program runs there): a local loop.
    show();
    if (pending->box) pending->box->exec();
  } else if (gui_.Post(show)) {
    std::optional<int> quit = WaitHandlingMessages(pending->done, [this, pending] {
      if (!gui_.Post([pending] { pending->Close(); })) pending->FinishWithoutChoice();
    });
    if (quit) pw::PostQuitMessage(*quit);
  }
  pending->FinishWithoutChoice();  // no effect when answered; the answer when the GUI has gone
  {
    std::lock_guard lock(mu_);
    open_.erase(pending);
  }
  std::lock_guard lock(pending->mu);
  return pending->answer;
}

void QtMessageBoxPresenter::CloseAll() {
  std::set<std::shared_ptr<Pending>> open;
  {
    std::lock_guard lock(mu_);
    open = open_;
  }
  for (const auto& pending : open) pending->Close();
}

// ---- file dialogs ----

struct QtFileDialogPresenter::Pending {
  FileDialogRequest request;
  pw::Event done{true, false};
  std::mutex mu;
  bool answered = false;
  std::optional<std::u16string> answer;
  QPointer<QFileDialog> dialog;  // GUI thread only

  void Finish(std::optional<std::u16string> result) {
    {
      std::lock_guard lock(mu);
      if (answered) return;
      answered = true;
      answer = std::move(result);
    }
    done.Set();
  }
  void Close() {
    Finish(std::nullopt);
    if (dialog) dialog->reject();
    if (dialog) dialog->deleteLater();
  }
};

QStringList ToQtNameFilters(std::u16string_view filter) {
  QStringList parts = ToQString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString name = parts[i].trimmed();
    QStringList patterns;
    for (QString pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      pattern = pattern.trimmed();
      if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
      if (!pattern.isEmpty()) patterns.push_back(pattern);
    }
    if (name.isEmpty() || patterns.isEmpty()) continue;
    // Qt reads the patterns from the last parentheses of the name, so the
    // name's own list gives way to the converted one.
    if (name.endsWith(QLatin1Char(')'))) {
      qsizetype open = name.lastIndexOf(QLatin1Char('('));
      if (open >= 0) name = name.left(open).trimmed();
    }
    filters.push_back(QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' '))));
  }
  return filters;
}

QtFileDialogPresenter::QtFileDialogPresenter(GuiThread& gui, OwnerLookup owner_widget)
    : gui_(gui), owner_widget_(std::move(owner_widget)) {}

QtFileDialogPresenter::~QtFileDialogPresenter() = default;

std::optional<std::u16string> QtFileDialogPresenter::Present(const FileDialogRequest& request) {
  if (Scripted("DICTALO_FILEDIALOG_ANSWERS")) return scripted_.Present(request);
  auto pending = std::make_shared<Pending>();
  pending->request = request;
  {
    std::lock_guard lock(mu_);
    open_.insert(pending);
  }
  auto show = [this, pending] {
    const FileDialogRequest& r = pending->request;
    QWidget* owner = OwnerWindow(owner_widget_, r.owner);
    auto* dialog = new QFileDialog(owner, ToQString(r.title));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QStringList filters = ToQtNameFilters(r.filter);
    if (!filters.isEmpty()) dialog->setNameFilters(filters);
    if (!r.initial_name.empty()) {
      QString initial = ToQString(r.initial_name);
      if (QFileInfo(initial).isDir())
        dialog->setDirectory(initial);
      else
        dialog->selectFile(initial);
    }
    dialog->setWindowModality(owner ? Qt::WindowModal : Qt::NonModal);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [pending, dialog](int result) {
      QStringList chosen = dialog->selectedFiles();
      if (result != QDialog::Accepted || chosen.isEmpty()) {
        pending->Finish(std::nullopt);
        return;
      }
      std::u16string path = QDir::toNativeSeparators(chosen.front()).toStdU16String();
      // A path the program cannot hold counts as no choice rather than a cut one.
      if (path.size() > pending->request.max_path) {
        pending->Finish(std::nullopt);
        return;
      }
      pending->Finish(std::move(path));
    });
    pending->dialog = dialog;
    dialog->show();
  };

  if (gui_.IsGuiThread()) {
    show();
    if (pending->dialog) pending->dialog->exec();
  } else if (gui_.Post(show)) {
    std::optional<int> quit = WaitHandlingMessages(pending->done, [this, pending] {
      if (!gui_.Post([pending] { pending->Close(); })) pending->Finish(std::nullopt);
    });
    if (quit) pw::PostQuitMessage(*quit);
  }
  pending->Finish(std::nullopt);
  {
    std::lock_guard lock(mu_);
    open_.erase(pending);
  }
  std::lock_guard lock(pending->mu);
  return pending->answer;
}

void QtFileDialogPresenter::CloseAll() {
  std::set<std::shared_ptr<Pending>> open;
  {
    std::lock_guard lock(mu_);
    open = open_;
  }
  for (const auto& pending : open) pending->Close();
}

}  // namespace toolkit::qt
