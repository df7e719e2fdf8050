#pragma once
// A dialog described as data: what every UI backend builds its window from.
#include <string>
#include <vector>

namespace ui {

enum ControlStyle : unsigned {
    kStyleNone = 0,
    kStyleHidden = 1u << 0,    // created hidden
    kStyleSunken = 1u << 1,
    kStyleCentre = 1u << 2,
    kStyleRight = 1u << 3,
    kStyleReadOnly = 1u << 4,
    kStyleBorder = 1u << 5,
    kStyleAutoScroll = 1u << 6,
    kStyleMultiline = 1u << 7,
    kStyleSmooth = 1u << 8,
    kStyleTabStop = 1u << 9,
    kStyleDefault = 1u << 10,  // the default push button
};

enum class ControlKind { PushButton, Label, Icon, Edit, CheckBox, Progress };

constexpr int kIdStatic = -1; // labels that are never addressed

struct DialogControl {
    int m_nId;
    ControlKind m_kind;
    std::string m_strText;
    int m_x, m_y, m_cx, m_cy; // dialog units
    unsigned m_nStyle;
    int m_nIconId = 0; // icon controls: the icon resource shown at creation
};

struct DialogTemplate {
    int m_nId;
    std::string m_strCaption;
    int m_cx, m_cy; // dialog units
    std::string m_strFontName;
    int m_nFontPoints;
    std::vector<DialogControl> m_controls; // in tab order
};

} // namespace ui
