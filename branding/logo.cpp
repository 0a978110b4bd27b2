#include "branding/logo.h"

#include "platform/userint.h"
#include "runtime/utility.h"

#include <array>

using namespace runtime;

namespace branding {

BrandProgram brandProgram;

namespace {

constexpr std::size_t kTitleChars = 51;
constexpr int kTitleLeft0 = -1; // left edge given by the program (entry 0)

// One label of an entry; a null text stands for the program title.
struct BrandLabel {
    int style;
    int pointSize;
    int left;
    int top;
    const char *text;
};

struct BrandEntry {
    int frameColor;
    int pictureTop;
    int pictureLeft;
    const char *bitmap; // beside the program; null: no bitmap
    int labelCount;
    std::array<BrandLabel, 4> labels;
};

constexpr int kPartnerFrame = MakeColor(64, 64, 64);

// Entries other than 0 and 5 belong to partners who brand their own builds:
// they ship their bitmap under the name given here; the title is all we know.
constexpr BrandEntry Partner(const char *bitmap) {
    return {kPartnerFrame, 6, 325, bitmap, 1, {{{3, 18, 323, 30, nullptr}}}};
}

constexpr std::array<BrandEntry, 13> kBrands = {{
    {VAL_WHITE, 5, 800, nullptr, 1, {{{2, 22, kTitleLeft0, 20, nullptr}}}},
    Partner("brand01.png"),
    Partner("brand02.png"),
    Partner("brand03.png"),
    Partner("brand04.png"),
    {MakeColor(0, 128, 255),
     6,
     325,
     "orvena.png",
     4,
     {{{3, 18, 323, 30, nullptr},
       {3, 12, 15, 5, "Orvena Sensor Systems"},
       {3, 12, 15, 20, "Tel. +44 1632 960482"},
       {3, 12, 15, 35, "www.orvena.example"}}}},
    Partner("brand06.png"),
    Partner("brand07.png"),
    Partner("brand08.png"),
    Partner("brand09.png"),
    Partner("brand10.png"),
    Partner("brand11.png"),
    Partner("brand12.png"),
}};

// Text messages keep the size they were made with, so give them room for the
// text in the chosen point size (96 dots per inch, a generous average glyph width).
void SizeForText(int panel, int control, const std::string &text, int pointSize) {
    const double pixels = pointSize * 96.0 / 72.0;
    SetCtrlAttribute(panel, control, ATTR_WIDTH, static_cast<int>(text.size() * pixels * 0.72) + 6);
    SetCtrlAttribute(panel, control, ATTR_HEIGHT, static_cast<int>(pixels * 1.25) + 2);
}

int MakeLabel(const std::string &text, int left, int top, int pointSize, int textColor, int background) {
    const int panel = brandProgram.mainpanel;
    const int id = NewCtrl(panel, CTRL_TEXT_MSG, "", top, left);
    if (id < 0) return id;
    SetCtrlAttribute(panel, id, ATTR_TEXT_FONT, "NIApp");
    SetCtrlAttribute(panel, id, ATTR_TEXT_POINT_SIZE, pointSize);
    SetCtrlAttribute(panel, id, ATTR_TEXT_COLOR, textColor);
    SetCtrlAttribute(panel, id, ATTR_TEXT_BGCOLOR, background);
    SetCtrlVal(panel, id, text);
    SizeForText(panel, id, text, pointSize);
    return id;
}

void ShowLabel(const BrandLabel &label, const std::string &title) {
    const std::string text = label.text ? label.text : title;
    const int left = label.left == kTitleLeft0 ? brandProgram.titleLeft0 : label.left;
    const int panel = brandProgram.mainpanel;
    switch (label.style) {
    case 1:
        ShowInfoText1(panel, text, left, label.top, label.pointSize);
        break;
    case 2:
        ShowInfoText2(panel, text, left, label.top, label.pointSize);
        break;
    default:
        ShowInfoText3(panel, text, left, label.top, label.pointSize);
        break;
    }
}

} // namespace

void ShowLogo(int brand) {
    const std::string title = brandProgram.title.substr(0, kTitleChars);
    if (brand < 0 || brand > brandProgram.lastBrand || brand >= static_cast<int>(kBrands.size())) return;
    const BrandEntry &entry = kBrands[static_cast<std::size_t>(brand)];
    const int panel = brandProgram.mainpanel;
    SetCtrlAttribute(panel, kLogoFrame, ATTR_FRAME_COLOR, entry.frameColor);
    SetCtrlAttribute(panel, kLogoPicture, ATTR_TOP, entry.pictureTop);
    SetCtrlAttribute(panel, kLogoPicture, ATTR_LEFT, entry.pictureLeft);
    if (entry.bitmap) {
        std::string dir;
        GetProjectDir(dir);
        // A missing bitmap leaves the picture empty; start-up goes on.
        DisplayImageFile(panel, kLogoPicture, JoinPath(dir, entry.bitmap));
    }
    for (int i = 0; i < entry.labelCount; ++i)
        ShowLabel(entry.labels[static_cast<std::size_t>(i)], title);
}

int ShowInfoText1(int, const std::string &text, int left, int top, int pointSize) {
    return MakeLabel(text, left, top, pointSize, VAL_DK_GRAY, VAL_WHITE);
}

int ShowInfoText2(int, const std::string &text, int left, int top, int pointSize) {
    return MakeLabel(text, left, top, pointSize, VAL_BLACK, VAL_WHITE);
}

int ShowInfoText3(int, const std::string &text, int left, int top, int pointSize) {
    return MakeLabel(text, left, top, pointSize, VAL_WHITE, VAL_TRANSPARENT);
}

} // namespace branding
