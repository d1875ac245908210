#pragma once
// The update window's form without a toolkit: every control of the form `업데이트` with its
// caption, visibility, position and font, as the form code sets them. A view (the Qt widget in
// update_window_widget.h) mirrors it; tests read it directly.
//
// Positions are pixels in the form's client area, containers included (a control inside a
// frame is hidden with it). Every change is announced to the listener, synchronously, with
// the control that changed (nullptr for the form itself); the listener may read the form but
// must not change it.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/runtime/font.h"

namespace meridox {

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

enum class ControlKind { Panel, Label, TextBox, Frame, CheckBox, Button, Image, Picture };

class UpdateForm;

class FormControl {
 public:
  struct Setup {
    ControlKind kind = ControlKind::Label;
    Rect rect;
    std::string caption;
    FormControl* container = nullptr;
    bool visible = true;
    veltrano::Font font;
  };
  FormControl(UpdateForm& form, std::string name, Setup setup);
  FormControl(const FormControl&) = delete;
  FormControl& operator=(const FormControl&) = delete;

  const std::string& Name() const { return name_; }
  ControlKind kind() const { return kind_; }
  FormControl* container() const { return container_; }
  const veltrano::Font& font() const { return font_; }

  // Caption of a label, frame, button or check box; Text of the text box.
  const std::string& Caption() const { return caption_; }
  void Caption(std::string caption);
  bool Visible() const { return visible_; }
  void Visible(bool visible);
  int Left() const { return rect_.left; }
  void Left(int left);
  int Top() const { return rect_.top; }
  int Width() const { return rect_.width; }
  int Height() const { return rect_.height; }
  const Rect& rect() const { return rect_; }
  // The check box's value: 0 unchecked, 1 checked.
  std::int32_t Value() const { return value_; }
  void Value(std::int32_t value);

  // Visible itself and inside visible containers.
  bool shown() const;

 private:
  UpdateForm& form_;
  std::string name_;
  ControlKind kind_;
  Rect rect_;
  std::string caption_;
  FormControl* container_;
  bool visible_;
  veltrano::Font font_;
  std::int32_t value_ = 0;
};

class UpdateForm {
 public:
  static constexpr const char* kName = "업데이트";
  static constexpr const char* kCaption = "Tarvic Product Auto Update [Veltrano Only]";
  static constexpr int kWidth = 560;
  static constexpr int kHeight = 512;

  UpdateForm();
  UpdateForm(const UpdateForm&) = delete;
  UpdateForm& operator=(const UpdateForm&) = delete;

  // Controls, back to front.
  FormControl SSPanel1;
  FormControl Image1;
  FormControl Image2;
  FormControl LB_MAIN;
  FormControl LB_SUBMAIN;
  FormControl Frame1;
  FormControl LB_TITME;
  FormControl LB_SETUPLIST;
  FormControl FRM_FLAME;
  FormControl CHK_DNALL;
  FormControl Label2;
  FormControl Label3;
  FormControl Com_Yes;
  FormControl Frame2;
  FormControl LB_SETUP_PB;
  FormControl LB_SETUP_VER;
  FormControl LB_INFO;
  std::array<FormControl, 3> ICO;
  std::array<FormControl, 5> STAT;
  FormControl Com_Cancel;
  // Where the progress bar SP_PB sits (the control itself belongs to the window).
  static constexpr Rect kProgressBarRect{70, 430, 464, 24};

  const std::string& Caption() const { return caption_; }
  bool Visible() const { return visible_; }
  void Show();
  void Hide();

  // Every control, back to front.
  const std::vector<FormControl*>& controls() const { return controls_; }
  // The single visible element of ICO / STAT, or -1 when none or several are.
  int visibleIco() const;
  int visibleStat() const;

  void setOnChanged(std::function<void(const FormControl*)> listener) { onChanged_ = std::move(listener); }

 private:
  friend class FormControl;
  void changed(const FormControl* control);

  std::string caption_ = kCaption;
  bool visible_ = false;
  std::vector<FormControl*> controls_;
  std::function<void(const FormControl*)> onChanged_;
};

}  // namespace meridox
