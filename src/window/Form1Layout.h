#pragma once

#include <array>
#include <string_view>

namespace quillon {

// Where everything sits on the window, in twips (Twips() in Form1.h turns them into pixels). Left and
// Top are relative to the client area below the menu bar. A label's Width and Height are those of its
// design-time caption: labels size themselves to their text and keep only Left and Top.

inline constexpr int kClientWidthTwips = 10125;
inline constexpr int kClientHeightTwips = 3705;

struct ControlPlace {
    std::string_view name; // the control's objectName
    int left;
    int top;
    int width;
    int height;
};

// By area, top to bottom; controls are created in this order.
inline constexpr std::array<ControlPlace, 39> kControlPlaces{{
    {"Combo1", 120, 120, 5775, 315},    {"Combo2", 6000, 120, 650, 315},    {"Text1", 6840, 120, 3135, 405},
    {"Label22", 120, 480, 465, 195},    {"Label18", 1560, 480, 1530, 195},  {"Command1", 3960, 600, 855, 315},
    {"Command2", 4920, 600, 855, 315},  {"Check6", 6120, 600, 735, 195},    {"Check3", 6960, 600, 855, 195},
    {"Check8", 7800, 600, 855, 195},    {"Check5", 8640, 600, 1335, 195},   {"Label23", 120, 720, 690, 195},
    {"Label21", 1560, 720, 1365, 195},  {"Check1", 6120, 840, 855, 195},    {"Check2", 6960, 840, 855, 195},
    {"Check7", 7800, 840, 855, 195},    {"Check4", 8640, 840, 1215, 195},   {"Label20", 120, 960, 2205, 195},
    {"Label24", 6120, 1080, 2985, 180}, {"Label25", 120, 1200, 1905, 195},  {"Label4", 120, 1560, 1545, 195},
    {"Label8", 2040, 1560, 90, 195},    {"Label17", 5400, 1560, 615, 195},  {"Label16", 6000, 1560, 750, 195},
    {"Label5", 120, 1800, 1740, 195},   {"Label9", 2040, 1800, 180, 195},   {"Label6", 120, 2040, 1515, 195},
    {"Label10", 2040, 2040, 540, 195},  {"Label13", 5400, 2040, 1200, 195}, {"Label7", 120, 2280, 990, 195},
    {"Label11", 2040, 2280, 450, 195},  {"Label14", 5400, 2280, 585, 195},  {"Scriptlet1", 120, 2520, 7140, 900},
    {"Label1", 7440, 2520, 1815, 195},  {"Label3", 9480, 2520, 405, 195},   {"Label2", 7440, 2760, 780, 195},
    {"Label12", 7440, 3000, 750, 195},  {"Label19", 7440, 3240, 345, 195},  {"Label15", 120, 3480, 4275, 195},
}};

// Start-up gives the help view (Scriptlet1) this size in place of its design size.
inline constexpr int kHelpViewWidthTwips = 7025;
inline constexpr int kHelpViewHeightTwips = 905;

// The place of a control by its name; a name the table lacks does not compile.
consteval const ControlPlace& Place(std::string_view name) {
    for (const ControlPlace& place : kControlPlaces) {
        if (place.name == name) {
            return place;
        }
    }
    throw "no place for this control";
}

} // namespace quillon
