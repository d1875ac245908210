#pragma once
// The Qt window behind ShowErrorWindow.

#include <QPlainTextEdit>
#include <QWidget>

namespace lumadata {

// The text box keeps every key typed into it, also those it has no use for (Esc, F1, F5, ...),
// which a plain text box would pass on to the window, where they would close it.
class ErrorTextBox : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

class ErrorWindowWidget : public QWidget {
  Q_OBJECT
 public:
  explicit ErrorWindowWidget(const QString& text);
  QPlainTextEdit* textBox() const { return text_; }

 signals:
  void closed();

 protected:
  // Any key pressed while the window itself has the focus closes it.
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  ErrorTextBox* text_;
};

}  // namespace lumadata
