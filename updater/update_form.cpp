#include "updater/update_form.h"

namespace meridox {

namespace {

using Setup = FormControl::Setup;

veltrano::Font bodyFont() { return veltrano::Font{"맑은 고딕", 9.0}; }
veltrano::Font headingFont() {
  veltrano::Font f{"맑은 고딕", 15.0};
  f.bold = true;
  return f;
}
veltrano::Font frameFont() {
  veltrano::Font f = bodyFont();
  f.bold = true;
  return f;
}

Setup setup(ControlKind kind, Rect rect, std::string caption = {}, FormControl* container = nullptr,
            bool visible = true, veltrano::Font font = bodyFont()) {
  return Setup{kind, rect, std::move(caption), container, visible, std::move(font)};
}

}  // namespace

FormControl::FormControl(UpdateForm& form, std::string name, Setup s)
    : form_(form),
      name_(std::move(name)),
      kind_(s.kind),
      rect_(s.rect),
      caption_(std::move(s.caption)),
      container_(s.container),
      visible_(s.visible),
      font_(std::move(s.font)) {}

void FormControl::Caption(std::string caption) {
  if (caption == caption_) return;
  caption_ = std::move(caption);
  form_.changed(this);
}

void FormControl::Visible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  form_.changed(this);
}

void FormControl::Left(int left) {
  if (left == rect_.left) return;
  rect_.left = left;
  form_.changed(this);
}

void FormControl::Value(std::int32_t value) {
  if (value == value_) return;
  value_ = value;
  form_.changed(this);
}

bool FormControl::shown() const {
  for (const FormControl* c = this; c; c = c->container_)
    if (!c->visible_) return false;
  return true;
}

// The layout: a heading band, the product list, the option frame (shown by the listing; its
// controls below its title, the start button at the right of the first row) and the progress
// frame, the cancel button below them so that it can always be reached. While the option frame
// is hidden the view moves what lies below it up (update_window_widget.cpp).
UpdateForm::UpdateForm()
    : SSPanel1(*this, "SSPanel1", setup(ControlKind::Panel, {0, 0, kWidth, 80})),
      Image1(*this, "Image1", setup(ControlKind::Image, {18, 14, 52, 52})),
      Image2(*this, "Image2", setup(ControlKind::Image, {482, 18, 62, 44})),
      LB_MAIN(*this, "LB_MAIN",
              setup(ControlKind::Label, {84, 12, 390, 30}, "Tarvic 제품군 통합 업데이트", nullptr, true, headingFont())),
      LB_SUBMAIN(*this, "LB_SUBMAIN",
                 setup(ControlKind::Label, {84, 48, 392, 20}, "잠시만 기다리세요. 서버에서 설치정보를 얻고있습니다.")),
      Frame1(*this, "Frame1", setup(ControlKind::Frame, {12, 92, 536, 150}, "", nullptr, true, frameFont())),
      LB_TITME(*this, "LB_TITME", setup(ControlKind::Label, {26, 106, 400, 18}, "이 컴퓨터에 설치된 제품정보 :", &Frame1)),
      LB_SETUPLIST(*this, "LB_SETUPLIST", setup(ControlKind::TextBox, {26, 128, 508, 102}, "", &Frame1)),
      FRM_FLAME(*this, "FRM_FLAME",
                setup(ControlKind::Frame, {12, 252, 536, 104}, "업데이트 파일 설치", nullptr, false, frameFont())),
      CHK_DNALL(*this, "CHK_DNALL", setup(ControlKind::CheckBox, {26, 280, 300, 22}, "모든파일 다시 받기", &FRM_FLAME)),
      Label2(*this, "Label2",
             setup(ControlKind::Label, {26, 308, 390, 18},
                   "위 제품중에 업데이트 대상 파일이 있으면 서버에서 다운받아 설치합니다.", &FRM_FLAME)),
      Label3(*this, "Label3",
             setup(ControlKind::Label, {26, 330, 390, 18},
                   "주의 : 프로그램을 업데이트하지 않으려면. '취소'를 눌러 종료하십시오.", &FRM_FLAME)),
      Com_Yes(*this, "Com_Yes", setup(ControlKind::Button, {422, 279, 112, 30}, "업데이트", &FRM_FLAME)),
      Frame2(*this, "Frame2", setup(ControlKind::Frame, {12, 364, 536, 102}, "설치정보", nullptr, true, frameFont())),
      LB_SETUP_PB(*this, "LB_SETUP_PB",
                  setup(ControlKind::Label, {70, 386, 250, 18}, "시스템에 설치된 제품확인.", &Frame2)),
      LB_SETUP_VER(*this, "LB_SETUP_VER", setup(ControlKind::Label, {320, 386, 170, 18}, "", &Frame2)),
      LB_INFO(*this, "LB_INFO", setup(ControlKind::Label, {70, 407, 420, 18}, "", &Frame2)),
      ICO{FormControl(*this, "ICO(0)", setup(ControlKind::Image, {26, 390, 32, 32}, "", &Frame2, true)),
          FormControl(*this, "ICO(1)", setup(ControlKind::Image, {26, 390, 32, 32}, "", &Frame2, false)),
          FormControl(*this, "ICO(2)", setup(ControlKind::Image, {26, 390, 32, 32}, "", &Frame2, false))},
      STAT{FormControl(*this, "STAT(0)", setup(ControlKind::Picture, {502, 384, 30, 30}, "", &Frame2, true)),
           FormControl(*this, "STAT(1)", setup(ControlKind::Picture, {502, 384, 30, 30}, "", &Frame2, false)),
           FormControl(*this, "STAT(2)", setup(ControlKind::Picture, {502, 384, 30, 30}, "", &Frame2, false)),
           FormControl(*this, "STAT(3)", setup(ControlKind::Picture, {502, 384, 30, 30}, "", &Frame2, false)),
           FormControl(*this, "STAT(4)", setup(ControlKind::Picture, {502, 384, 30, 30}, "", &Frame2, false))},
      Com_Cancel(*this, "Com_Cancel", setup(ControlKind::Button, {436, 474, 112, 30}, "취 소")) {
  controls_ = {&SSPanel1, &Image1, &Image2, &LB_MAIN, &LB_SUBMAIN, &Frame1, &LB_TITME, &LB_SETUPLIST,
               &FRM_FLAME, &CHK_DNALL, &Label2, &Label3, &Com_Yes, &Frame2, &LB_SETUP_PB, &LB_SETUP_VER,
               &LB_INFO};
  for (FormControl& c : ICO) controls_.push_back(&c);
  for (FormControl& c : STAT) controls_.push_back(&c);
  controls_.push_back(&Com_Cancel);
}

void UpdateForm::Show() {
  if (visible_) return;
  visible_ = true;
  changed(nullptr);
}

void UpdateForm::Hide() {
  if (!visible_) return;
  visible_ = false;
  changed(nullptr);
}

namespace {
template <std::size_t N>
int singleVisible(const std::array<FormControl, N>& elements) {
  int found = -1;
  for (std::size_t i = 0; i < N; ++i) {
    if (!elements[i].Visible()) continue;
    if (found >= 0) return -1;
    found = static_cast<int>(i);
  }
  return found;
}
}  // namespace

int UpdateForm::visibleIco() const { return singleVisible(ICO); }
int UpdateForm::visibleStat() const { return singleVisible(STAT); }

void UpdateForm::changed(const FormControl* control) {
  if (onChanged_) onChanged_(control);
}

}  // namespace meridox
