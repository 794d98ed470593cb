// The main dialog's template: its window and its controls in template order,
// which is also the tab order. Positions and sizes are in dialog units.
#pragma once

#include <cstdint>

enum class ControlKind { Label, ComboBox, PushButton, GroupBox, RadioButton, TextArea, ListView };

enum ControlStyle : uint32_t {
    kStyleNone = 0,
    kStyleTabStop = 1u << 0,
    kStyleGroup = 1u << 1, // starts a group
    kStyleAutoRadio = 1u << 2,
    kStyleSortedList = 1u << 3,
    kStyleVScroll = 1u << 4,
    kStyleBorder = 1u << 5,
    kStyleWantReturn = 1u << 6, // Enter makes a line break
    kStyleShowSelection = 1u << 7, // selection stays visible without focus
    kStyleOwnerData = 1u << 8,
};

enum ControlId : int {
    IDC_STATIC = -1,
    IDC_DICT_LIST = 1000,
    IDC_TEXT_EDIT = 1001,
    IDC_SAVE_DICT = 1004,
    IDC_BEFORE_COMBO = 1005,
    IDC_AFTER_COMBO = 1006,
    IDC_REPLACE = 1008,
    IDC_DELETE = 1009,
    IDC_REGISTER = 1010,
    IDC_MODE_REPLACE = 1012,
    IDC_MODE_GLOSS = 1013,
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    int x, y, cx, cy;
    const char16_t* caption;
    uint32_t style;
};

struct DialogTemplate {
    const char16_t* caption;
    int cx, cy;
    const char16_t* font;
    int pointSize;
};

inline constexpr int IDD_MAIN_DIALOG = 102;

inline constexpr DialogTemplate kMainDialog = {u"Velmora 1.0", 366, 301, u"MS UI Gothic", 9};

inline constexpr ControlTemplate kMainDialogControls[] = {
    {IDC_STATIC, ControlKind::Label, 0, 2, 43, 8, u"置換前文字列:", kStyleGroup},
    {IDC_BEFORE_COMBO, ControlKind::ComboBox, 45, 0, 135, 80, u"", kStyleTabStop | kStyleVScroll | kStyleSortedList},
    {IDC_STATIC, ControlKind::Label, 0, 17, 43, 8, u"置換後文字列:", kStyleGroup},
    {IDC_AFTER_COMBO, ControlKind::ComboBox, 45, 15, 135, 65, u"", kStyleTabStop | kStyleVScroll | kStyleSortedList},
    {IDC_REGISTER, ControlKind::PushButton, 65, 32, 50, 14, u"登録(&R)", kStyleTabStop},
    {IDC_DELETE, ControlKind::PushButton, 130, 32, 50, 14, u"削除(&D)", kStyleTabStop},
    {IDC_SAVE_DICT, ControlKind::PushButton, 0, 31, 50, 14, u"辞書保存(&S)", kStyleTabStop},
    {IDC_STATIC, ControlKind::GroupBox, 186, 0, 180, 42, u"置換方法", kStyleNone},
    {IDC_MODE_REPLACE, ControlKind::RadioButton, 192, 12, 114, 10, u"置換前文字列→置換後文字列(&N)",
     kStyleAutoRadio | kStyleGroup},
    {IDC_MODE_GLOSS, ControlKind::RadioButton, 192, 25, 160, 10, u"置換前文字列→置換前文字列[置換後文字列](&B)",
     kStyleAutoRadio},
    {IDC_TEXT_EDIT, ControlKind::TextArea, 186, 80, 180, 221, u"",
     kStyleTabStop | kStyleVScroll | kStyleBorder | kStyleWantReturn | kStyleShowSelection},
    {IDC_REPLACE, ControlKind::PushButton, 316, 65, 50, 14, u"置換(&S)", kStyleTabStop},
    {IDC_DICT_LIST, ControlKind::ListView, 0, 80, 180, 221, u"", kStyleTabStop | kStyleBorder | kStyleOwnerData},
};
