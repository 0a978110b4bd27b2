// The brand area of a program's main panel: frame colour, logo picture and text
// labels, filled once at start-up from a built-in table of brand entries.
#pragma once

#include <string>

namespace branding {

// The two controls every main panel carries for its brand area.
constexpr const char *kLogoFrame = "LogoFrame";     // decoration whose colour is the frame colour
constexpr const char *kLogoPicture = "LogoPicture"; // picture control for the bitmap

// What each program tells the brand area about itself. Set before ShowLogo.
struct BrandProgram {
    int mainpanel = 0;    // the panel that holds the brand area and gets the labels
    std::string title;    // program title: the first label of every entry
    int titleLeft0 = 280; // left edge of the title in entry 0, the only one that differs
    int lastBrand = 12;   // highest brand number of this program's table
};
extern BrandProgram brandProgram;

// Fills the brand area with entry brand of the table; a number outside the table does nothing.
void ShowLogo(int brand);

// Label of style 1: grey text on white. The panel argument is not used: labels
// always go on brandProgram.mainpanel. Result: the new control's id, or an error code.
int ShowInfoText1(int panel, const std::string &text, int left, int top, int pointSize);
// Label of style 2: black text on white.
int ShowInfoText2(int panel, const std::string &text, int left, int top, int pointSize);
// Label of style 3: white text on a transparent background.
int ShowInfoText3(int panel, const std::string &text, int left, int top, int pointSize);

} // namespace branding
