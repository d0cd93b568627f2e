#include "ui/dialog_templates.h"

#include <array>

#include "product/product_text.h"
#include "ui/resource.h"

namespace {

constexpr std::string_view kDialogFont = "MS Sans Serif";

constexpr std::array kMainDialogItems{
    DialogItemTemplate{kIdOk, DialogItemKind::kDefPushButton, "OK", 0, {372, 51, 50, 14}},
    DialogItemTemplate{IDC_RADIO_BUMPS_BACK, DialogItemKind::kAutoRadioButton, "", 0, {33, 13, 144, 8}},
    DialogItemTemplate{IDC_ICON_TOP, DialogItemKind::kIcon, "", IDI_BOY, {7, 7, 21, 20}},
    DialogItemTemplate{IDC_RADIO_NO_BUMPS, DialogItemKind::kAutoRadioButton, "", 0, {33, 34, 383, 10}},
    DialogItemTemplate{IDC_ICON_BOTTOM, DialogItemKind::kIcon, "", IDI_PENGUIN, {7, 28, 21, 20}},
};

// The text is kept with the product's other texts: each program sets it when
// the box opens.
constexpr std::array kAboutDialogItems{
    DialogItemTemplate{kIdStatic, DialogItemKind::kIcon, "", IDI_PENGUIN, {7, 7, 21, 20}},
    DialogItemTemplate{IDC_ABOUT_TEXT, DialogItemKind::kText, "", 0, {33, 7, 74, 49}},
    DialogItemTemplate{kIdOk, DialogItemKind::kDefPushButton, "OK", 0, {32, 61, 50, 14}},
};

}  // namespace

const DialogTemplate& MainDialogTemplate() {
  static const DialogTemplate dialogTemplate{IDD_MAIN, kProductName, 429, 72, kDialogFont, 8, kMainDialogItems};
  return dialogTemplate;
}

const DialogTemplate& AboutDialogTemplate() {
  static const DialogTemplate dialogTemplate{IDD_ABOUTBOX, "About", 114, 82, kDialogFont, 8, kAboutDialogItems};
  return dialogTemplate;
}

const DialogTemplate& HiddenAnimDialogTemplate() {
  static const DialogTemplate dialogTemplate{IDD_HIDDEN_ANIM, "", 258, 179, kDialogFont, 8, {}};
  return dialogTemplate;
}
