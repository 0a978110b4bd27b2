// The brand area on a real main panel (VexaV32's, from its resource file).
#include "branding/logo.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "runtime/utility.h"
#include "tests/test_support.h"

#include <QFile>
#include <QLabel>
#include <gtest/gtest.h>

using namespace runtime;
using namespace branding;

namespace {

constexpr int kMainPanel = 5;

// One label as the brand area should show it.
struct ExpectedLabel {
    std::string text;
    int left, top, pointSize, textColor, background;
};

class BrandArea : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFile::copy(VEXA_DIR "/VexaV32.uir", dir.filePath("VexaV32.uir")));
        SetProjectDir(dir.path().toStdString());
        ClearRecordedPopups();
        SetPopupResponder([](const PopupRecord &, std::string &) { return 0; });
        panel = LoadPanel(0, "VexaV32.uir", kMainPanel);
        ASSERT_GT(panel, 0);
        brandProgram = {panel, "VEXA-Scope V3.2", 280, 12};
    }
    void TearDown() override {
        DiscardPanel(panel);
        SetPopupResponder({});
        SetProjectDir("");
    }
    void AddLogoBitmap() { ASSERT_TRUE(QFile::copy(VEXA_DIR "/orvena.png", dir.filePath("orvena.png"))); }

    int Attr(Ctrl c, int attribute) {
        int v = -1;
        EXPECT_EQ(GetCtrlAttribute(panel, c, attribute, v), 0);
        return v;
    }
    bool PictureShown() {
        return !qobject_cast<QLabel *>(CtrlWidget(panel, kLogoPicture))->pixmap().isNull();
    }

    // The labels made since the panel had `before` controls, checked in order.
    void ExpectLabels(int before, const std::vector<ExpectedLabel> &expected) {
        ASSERT_EQ(GetNumCtrls(panel), before + static_cast<int>(expected.size()));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const int id = before + 1 + static_cast<int>(i);
            const ExpectedLabel &e = expected[i];
            std::string text, font;
            GetCtrlVal(panel, id, text);
            GetCtrlAttribute(panel, id, ATTR_TEXT_FONT, font);
            EXPECT_EQ(text, e.text);
            EXPECT_EQ(font, "NIApp");
            EXPECT_EQ(Attr(id, ATTR_LEFT), e.left) << e.text;
            EXPECT_EQ(Attr(id, ATTR_TOP), e.top) << e.text;
            EXPECT_EQ(Attr(id, ATTR_TEXT_POINT_SIZE), e.pointSize) << e.text;
            EXPECT_EQ(Attr(id, ATTR_TEXT_COLOR), e.textColor) << e.text;
            EXPECT_EQ(Attr(id, ATTR_TEXT_BGCOLOR), e.background) << e.text;
            EXPECT_EQ(Attr(id, ATTR_CTRL_STYLE), CTRL_TEXT_MSG);
        }
    }

    QTemporaryDir dir;
    int panel = 0;
};

} // namespace

TEST_F(BrandArea, MakersEntryShowsLogoBlueFrameWhiteTitleAndThreeCompanyLines) {
    AddLogoBitmap();
    const int before = GetNumCtrls(panel);
    ShowLogo(5);
    EXPECT_EQ(Attr(kLogoFrame, ATTR_FRAME_COLOR), MakeColor(0, 128, 255));
    EXPECT_EQ(Attr(kLogoPicture, ATTR_TOP), 6);
    EXPECT_EQ(Attr(kLogoPicture, ATTR_LEFT), 325);
    EXPECT_TRUE(PictureShown());
    ExpectLabels(before, {
                             {"VEXA-Scope V3.2", 323, 30, 18, VAL_WHITE, VAL_TRANSPARENT},
                             {"Orvena Sensor Systems", 15, 5, 12, VAL_WHITE, VAL_TRANSPARENT},
                             {"Tel. +44 1632 960482", 15, 20, 12, VAL_WHITE, VAL_TRANSPARENT},
                             {"www.orvena.example", 15, 35, 12, VAL_WHITE, VAL_TRANSPARENT},
                         });
}

TEST_F(BrandArea, PlainEntryShowsOnlyTheTitleBlackOnWhiteAtTheProgramsLeftEdge) {
    brandProgram.title = "KELVRA-Scope V1.2";
    brandProgram.titleLeft0 = 240;
    brandProgram.lastBrand = 10;
    const int before = GetNumCtrls(panel);
    ShowLogo(0);
    EXPECT_EQ(Attr(kLogoFrame, ATTR_FRAME_COLOR), VAL_WHITE);
    EXPECT_EQ(Attr(kLogoPicture, ATTR_TOP), 5);
    EXPECT_EQ(Attr(kLogoPicture, ATTR_LEFT), 800);
    EXPECT_FALSE(PictureShown());
    ExpectLabels(before, {{"KELVRA-Scope V1.2", 240, 20, 22, VAL_BLACK, VAL_WHITE}});
}

TEST_F(BrandArea, ASecondCallAddsASecondSetOfLabels) {
    const int before = GetNumCtrls(panel);
    ShowLogo(0);
    ShowLogo(0);
    ExpectLabels(before, {{"VEXA-Scope V3.2", 280, 20, 22, VAL_BLACK, VAL_WHITE},
                          {"VEXA-Scope V3.2", 280, 20, 22, VAL_BLACK, VAL_WHITE}});
}

TEST_F(BrandArea, NumbersOutsideTheProgramsTableChangeNothing) {
    brandProgram.lastBrand = 10; // a table of entries 0 to 10
    const int before = GetNumCtrls(panel);
    const int frame = Attr(kLogoFrame, ATTR_FRAME_COLOR);
    for (int brand : {-1, 11, 12, 13, 1000})
        ShowLogo(brand);
    EXPECT_EQ(GetNumCtrls(panel), before);
    EXPECT_EQ(Attr(kLogoFrame, ATTR_FRAME_COLOR), frame);
}

TEST_F(BrandArea, MissingBitmapLeavesThePictureEmptyWithoutAMessage) {
    const int before = GetNumCtrls(panel);
    ShowLogo(5);
    EXPECT_FALSE(PictureShown());
    EXPECT_EQ(GetNumCtrls(panel), before + 4);
    EXPECT_TRUE(RecordedPopups().empty());
}

TEST_F(BrandArea, EachLabelStyleHasItsColoursWhateverPanelIsNamed) {
    const struct {
        int (*show)(int, const std::string &, int, int, int);
        int textColor, background;
    } styles[] = {
        {ShowInfoText1, MakeColor(128, 128, 128), VAL_WHITE},
        {ShowInfoText2, VAL_BLACK, VAL_WHITE},
        {ShowInfoText3, VAL_WHITE, VAL_TRANSPARENT},
    };
    for (const auto &s : styles) {
        const int before = GetNumCtrls(panel);
        // The panel argument is not used: labels always go on the main panel.
        const int id = s.show(0, "line", 40, 12, 9);
        EXPECT_EQ(id, before + 1);
        ExpectLabels(before, {{"line", 40, 12, 9, s.textColor, s.background}});
    }
}
