// The speed readout: rounding, scaling, digits, leading zeros and units.
#include <gtest/gtest.h>

#include "ui_fixture.h"

namespace kivota::test {
namespace {

// What a row shows, as picture names; "-" for a hidden digit.
std::vector<std::string> downRow(TMainForm& form) {
    std::vector<std::string> out;
    for (ImageControl* c : {form.ImgDown1000, form.ImgDown100, form.ImgDown10, form.ImgDown1, form.ImgDowndot,
                            form.ImgDowndot1, form.ImgDowndot01, form.ImgDownUnit}) {
        out.push_back(c->isHidden() ? "-" : c->lastLoaded());
    }
    return out;
}

std::vector<std::string> upRow(TMainForm& form) {
    std::vector<std::string> out;
    for (ImageControl* c : {form.ImgUp1000, form.ImgUp100, form.ImgUp10, form.ImgUp1, form.ImgUpdot, form.ImgUpdot1,
                            form.ImgUpdot01, form.ImgUpUnit}) {
        out.push_back(c->isHidden() ? "-" : c->lastLoaded());
    }
    return out;
}

struct SpeedCase {
    double kbps;
    std::vector<std::string> shows;
};

class SpeedReadout : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(SpeedReadout, DownloadRowShowsTheSpeed) {
    FormFixture f;
    f.form().vHideAll();
    f.form().shownDownloadKbps = GetParam().kbps;
    f.form().shownUploadKbps = 100;
    f.form().vShowSpeeds();
    EXPECT_EQ(downRow(f.form()), GetParam().shows) << GetParam().kbps;
}

INSTANTIATE_TEST_SUITE_P(
    Speeds, SpeedReadout,
    ::testing::Values(SpeedCase{12345.678, {"-", "-", "DIGIT_1", "DIGIT_2", "POINT", "DIGIT_3", "DIGIT_4", "MBPS"}},
                      SpeedCase{999.999, {"-", "-", "-", "DIGIT_1", "POINT", "DIGIT_0", "DIGIT_0", "MBPS"}},
                      SpeedCase{56.5, {"-", "-", "DIGIT_5", "DIGIT_6", "POINT", "DIGIT_5", "DIGIT_0", "KBPS"}},
                      SpeedCase{5.05, {"-", "-", "-", "DIGIT_5", "POINT", "DIGIT_0", "DIGIT_5", "KBPS"}},
                      SpeedCase{1.0, {"-", "-", "-", "DASH", "POINT", "DASH", "DASH", "MBPS"}},
                      SpeedCase{0.0, {"-", "-", "-", "DASH", "POINT", "DASH", "DASH", "MBPS"}},
                      SpeedCase{1000000.0, {"-", "-", "-", "DASH", "POINT", "DASH", "DASH", "MBPS"}},
                      SpeedCase{1000.0, {"-", "-", "-", "DIGIT_1", "POINT", "DIGIT_0", "DIGIT_0", "MBPS"}},
                      SpeedCase{999994.0,
                                {"-", "DIGIT_9", "DIGIT_9", "DIGIT_9", "POINT", "DIGIT_9", "DIGIT_9", "MBPS"}},
                      SpeedCase{102.3, {"-", "DIGIT_1", "DIGIT_0", "DIGIT_2", "POINT", "DIGIT_3", "DIGIT_0", "KBPS"}}));

// The readout shows the figures it was given and writes nothing back into the run's record.
TEST(SpeedReadoutRows, UploadRowUsesKbpsWhenNotShownAndLeavesTheRunsFigures) {
    FormFixture f;
    f.rs().dlFtpKbps = 12345.678;
    f.form().shownDownloadKbps = 12345.678;
    f.form().shownUploadKbps = 0;
    f.form().vShowSpeeds();
    EXPECT_EQ(upRow(f.form()), (std::vector<std::string>{"-", "-", "-", "DASH", "POINT", "DASH", "DASH", "KBPS"}));
    EXPECT_EQ(f.rs().dlFtpKbps, 12345.678);
    EXPECT_EQ(f.form().shownDownloadKbps, 12345.678);
    EXPECT_TRUE(shown(f.form().ImgDownlinkTitle));
    EXPECT_TRUE(shown(f.form().ImgUplinkTitle));
}

}  // namespace
}  // namespace kivota::test
