#pragma once
// The Qt window behind ShowErrorWindow.

#include <QPlainTextEdit>
#include <QWidget>

namespace lumadata {

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
  QPlainTextEdit* text_;
};

}  // namespace lumadata
