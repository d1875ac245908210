#include "updater/common_dialog.h"

#include "platform/runtime/error.h"
#include "platform/ui/user_interface.h"

namespace meridox {

void CommonDialog::ShowOpen() { show(false); }
void CommonDialog::ShowSave() { show(true); }

void CommonDialog::show(bool save) {
  veltrano::ui::FileDialogSpec spec;
  spec.title = title_;
  spec.filter = filter_;
  spec.filterIndex = filterIndex_;
  spec.fileName = fileName_;
  spec.initialDir = initDir_;
  auto& ui = veltrano::ui::current();
  const auto chosen = save ? ui.saveFileDialog(spec) : ui.openFileDialog(spec);
  if (chosen) {
    fileName_ = *chosen;
    return;
  }
  if (cancelError_) throw veltrano::RuntimeError(cdlCancel, "CommonDialog", "Cancel was selected.");
}

}  // namespace meridox
