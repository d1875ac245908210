#pragma once
// CommonDialog: the common dialog control as the updater's code drives it (CancelError,
// DialogTitle, Filter, FilterIndex, Filename, InitDir; ShowOpen, ShowSave), over the file
// prompts of platform/ui. A chosen file is put into Filename. A cancelled prompt leaves
// Filename as it was and, when CancelError is set, raises the control's cancel error
// (cdlCancel, 32755); without CancelError a cancel is silent.

#include <string>

namespace meridox {

// The run-time error a cancelled prompt raises when CancelError is set.
inline constexpr int cdlCancel = 32755;

class CommonDialog {
 public:
  bool CancelError() const { return cancelError_; }
  void CancelError(bool value) { cancelError_ = value; }
  const std::string& DialogTitle() const { return title_; }
  void DialogTitle(const std::string& value) { title_ = value; }
  // "description|pattern|description|pattern..."
  const std::string& Filter() const { return filter_; }
  void Filter(const std::string& value) { filter_ = value; }
  // Counts from 1 among the filter's pairs.
  int FilterIndex() const { return filterIndex_; }
  void FilterIndex(int value) { filterIndex_ = value; }
  const std::string& Filename() const { return fileName_; }
  void Filename(const std::string& value) { fileName_ = value; }
  const std::string& InitDir() const { return initDir_; }
  void InitDir(const std::string& value) { initDir_ = value; }

  void ShowOpen();
  void ShowSave();

 private:
  void show(bool save);

  bool cancelError_ = false;
  std::string title_, filter_, fileName_, initDir_;
  int filterIndex_ = 0;
};

}  // namespace meridox
