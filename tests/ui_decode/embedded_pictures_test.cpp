// Every picture the window loads is compiled into the program with the type and size of the
// control that shows it, and decodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/resources/picture_decoder.h"
#include "app/resources/resource_table.h"

namespace kivota {
namespace {

struct Expected {
    std::string type, name;
    int width, height;
};

std::vector<Expected> expectedPictures() {
    std::vector<Expected> all = {
        {"JPEG", "BACKGROUND", 520, 420},
        {"PNG", "BACKGROUND_OVER", 520, 420},
        {"PNG", "BACKGROUND_CR", 520, 420},
        {"PNG", "ZUV", 135, 41},
        {"PNG", "APPLOGO", 180, 50},
        {"PNG", "OPENCR", 114, 25},
        {"PNG", "TEST_END", 227, 33},
        {"PNG", "ANNOUNCEMENT", 306, 33},
        {"PNG", "SETUPDOC", 421, 33},
        {"PNG", "TEXT_BULLETIN", 207, 33},
        {"PNG", "UNUSE", 520, 49},
        {"PNG", "ALARMVER", 520, 49},
        {"PNG", "DOWNLOAD", 169, 81},
        {"PNG", "CONNECTING", 284, 41},
        {"GIF", "LOADING", 57, 57},
        {"GIF", "ROTATION", 105, 105},
        {"PNG", "ANALYSIS", 241, 41},
        {"PNG", "DOWNLINK", 257, 25},
        {"PNG", "UPLINK", 200, 25},
        {"PNG", "POINT", 17, 14},
        {"PNG", "DASH", 34, 55},
        {"PNG", "MBPS", 75, 31},
        {"PNG", "KBPS", 75, 31},
        {"PNG", "SERIAL", 105, 33},
    };
    for (const char* name : {"TEXT_CONFIG", "TEXT_DOWNLINK", "TEXT_UPLINK", "TEXT_DOWNLINK_END", "TEXT_UPLINK_END"})
        all.push_back({"PNG", name, 193, 25});
    for (int p = 0; p <= 100; p += 10) {
        all.push_back({"PNG", "PERCENT_BAR_" + std::to_string(p), 482, 33});
        all.push_back({"PNG", "PERCENT_" + std::to_string(p), 65, 32});
    }
    for (const char* name : {"NOTICE_P1", "NOTICE_P2", "NOTICE_P3"}) all.push_back({"PNG", name, 520, 316});
    for (int d = 0; d <= 9; ++d) all.push_back({"PNG", "DIGIT_" + std::to_string(d), 34, 55});
    const struct {
        const char* name;
        int width;
    } buttons[] = {{"BUTTON_C", 97}, {"BUTTON_Q", 97},  {"BUTTON_P", 97},  {"BUTTON_N", 91},
                   {"BUTTON_T", 91}, {"BUTTON_D", 100}, {"BUTTON_Y", 100}, {"BUTTON_RT", 100}};
    for (const auto& b : buttons)
        for (const char* state : {"", "_OVER", "_OUT"})
            all.push_back({"PNG", std::string(b.name) + state, b.width, 41});
    for (const char* state : {"", "_OVER", "_OUT"}) all.push_back({"PNG", std::string("BUTTON_R") + state, 201, 33});
    return all;
}

int alphaAt(const PictureFrame& frame, int x, int y) {
    return frame
        .rgba[(static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.width) + static_cast<std::size_t>(x)) * 4 +
              3];
}

TEST(EmbeddedPictures, EveryPictureExistsWithItsControlSizeAndDecodes) {
    for (const Expected& e : expectedPictures()) {
        SCOPED_TRACE(e.type + " " + e.name);
        const auto bytes = findResource(e.type, e.name);
        ASSERT_FALSE(bytes.empty());
        const auto picture = decodePicture(e.type, bytes);
        ASSERT_TRUE(picture.has_value());
        EXPECT_EQ(picture->width, e.width);
        EXPECT_EQ(picture->height, e.height);
        ASSERT_FALSE(picture->frames.empty());
        for (const PictureFrame& frame : picture->frames) {
            EXPECT_EQ(frame.width, e.width);
            EXPECT_EQ(frame.height, e.height);
            EXPECT_EQ(frame.rgba.size(), static_cast<std::size_t>(e.width * e.height * 4));
        }
    }
}

TEST(EmbeddedPictures, NothingBeyondTheNamedPicturesIsEmbedded) {
    for (const std::string type : {"PNG", "JPEG", "GIF"}) {
        std::set<std::string> expected;
        for (const Expected& e : expectedPictures())
            if (e.type == type) expected.insert(e.name);
        const auto names = resourceNames(type);
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected) << type;
    }
}

TEST(EmbeddedPictures, LookUpIgnoresCaseAndMissesGiveAnEmptySpan) {
    EXPECT_EQ(findResource("png", "button_c").data(), findResource("PNG", "BUTTON_C").data());
    EXPECT_TRUE(findResource("PNG", "NO_SUCH_PICTURE").empty());
    EXPECT_TRUE(findResource("PNG", "BACKGROUND").empty());  // the background is a JPEG
    EXPECT_TRUE(findResource("BMP", "BACKGROUND").empty());
    EXPECT_TRUE(findResource("PNG", "").empty());
    EXPECT_TRUE(resourceNames("BMP").empty());
}

TEST(EmbeddedPictures, ButtonsHaveTransparentRoundedCornersAndOpaqueFaces) {
    for (const std::string name : {"BUTTON_C", "BUTTON_N_OVER", "BUTTON_RT_OUT", "BUTTON_R", "BUTTON_R_OUT"}) {
        SCOPED_TRACE(name);
        const auto picture = decodePicture("PNG", findResource("PNG", name));
        ASSERT_TRUE(picture.has_value());
        const PictureFrame& f = picture->frames[0];
        EXPECT_EQ(alphaAt(f, 0, 0), 0);
        EXPECT_EQ(alphaAt(f, f.width - 1, 0), 0);
        EXPECT_EQ(alphaAt(f, 0, f.height - 1), 0);
        EXPECT_EQ(alphaAt(f, f.width - 1, f.height - 1), 0);
        EXPECT_EQ(alphaAt(f, f.width / 2, 6), 255);
    }
}

TEST(EmbeddedPictures, BackgroundIsOpaqueAndHintPanelsLeaveTheRingAreaClear) {
    const auto background = decodePicture("JPEG", findResource("JPEG", "BACKGROUND"));
    ASSERT_TRUE(background.has_value());
    EXPECT_FALSE(background->animated());
    for (std::size_t i = 3; i < background->frames[0].rgba.size(); i += 4)
        ASSERT_EQ(background->frames[0].rgba[i], 255);

    // The rotating ring (213..318, 180..285) and the analysis text (152..393, 112..153) show
    // through the hint panels.
    for (const char* name : {"NOTICE_P1", "NOTICE_P2", "NOTICE_P3"}) {
        SCOPED_TRACE(name);
        const auto panel = decodePicture("PNG", findResource("PNG", name));
        ASSERT_TRUE(panel.has_value());
        int covered = 0;
        for (int y = 112; y < 286; ++y)
            for (int x = 152; x < 394; ++x) covered += alphaAt(panel->frames[0], x, y) != 0;
        EXPECT_EQ(covered, 0);
    }
}

TEST(EmbeddedPictures, AnimationsRunAtLeastEightTimedFramesWithoutSmearing) {
    for (const char* name : {"LOADING", "ROTATION"}) {
        SCOPED_TRACE(name);
        const auto picture = decodePicture("GIF", findResource("GIF", name));
        ASSERT_TRUE(picture.has_value());
        EXPECT_TRUE(picture->animated());
        ASSERT_GE(picture->frames.size(), 8u);
        // Each frame clears the last one's pixels, so every frame covers about as much of
        // the picture as the first; smeared frames would cover more and more.
        auto coveredPixels = [](const PictureFrame& f) {
            int n = 0;
            for (std::size_t i = 3; i < f.rgba.size(); i += 4) n += f.rgba[i] != 0;
            return n;
        };
        const int first = coveredPixels(picture->frames[0]);
        EXPECT_GT(first, 0);
        for (const PictureFrame& frame : picture->frames) {
            EXPECT_EQ(frame.delayMs, 80);
            EXPECT_NEAR(coveredPixels(frame), first, first / 8);
            EXPECT_EQ(alphaAt(frame, 0, 0), 0);  // corners stay transparent
        }
        EXPECT_NE(picture->frames[0].rgba, picture->frames[1].rgba);
    }
}

}  // namespace
}  // namespace kivota
