// The two final speeds as rows of digit pictures, and the progress bar of the phases.
#include <cstdio>
#include <cstdlib>

#include "app/image_control.h"
#include "app/main_form.h"

namespace kivota {

namespace {

// The digit at one place: the product cut to an integer, modulo 10. The product is held as a
// single-precision number first, so 5.05 x 100 gives 505 and not 504.
int iDigitAt(double value, double scale) {
    const float product = static_cast<float>(value * scale);
    return static_cast<int>(product) % 10;
}

std::string szDigitName(int digit) { return "DIGIT_" + std::to_string(digit); }

}  // namespace

void TMainForm::vShowSpeedRow(double speed, const std::vector<ImageControl*>& row, const char* notShownUnit) {
    // row: thousands, hundreds, tens, units, point, tenths, hundredths, unit.
    ImageControl* const thousands = row[0];
    ImageControl* const hundreds = row[1];
    ImageControl* const tens = row[2];
    ImageControl* const units = row[3];
    ImageControl* const point = row[4];
    ImageControl* const tenths = row[5];
    ImageControl* const hundredths = row[6];
    ImageControl* const unit = row[7];

    double v = speed;
    if (!(v != 0.0 && v < 1'000'000.0 && v > 1.0)) {
        thousands->hide();
        hundreds->hide();
        tens->hide();
        vLoadImage(units, "DASH", "PNG");
        vLoadImage(point, "POINT", "PNG");
        vLoadImage(tenths, "DASH", "PNG");
        vLoadImage(hundredths, "DASH", "PNG");
        vLoadImage(unit, notShownUnit, "PNG");
        return;
    }
    // Round to two decimals through the text, as the readout shows it.
    char text[64];
    std::snprintf(text, sizeof text, "%.02f", v);
    v = std::strtod(text, nullptr);
    const char* unitName = "KBPS";
    if (v >= 1000.0) {
        unitName = "MBPS";
        v *= 0.001;
    }
    const int dUnits = static_cast<int>(v) % 10;
    const int dTens = iDigitAt(v, 0.1);
    const int dHundreds = iDigitAt(v, 0.01);
    const int dThousands = iDigitAt(v, 0.001);
    const int dTenths = iDigitAt(v, 10.0);
    const int dHundredths = iDigitAt(v, 100.0);

    const bool showThousands = dThousands != 0;
    const bool showHundreds = dHundreds != 0 || showThousands;
    const bool showTens = dTens != 0 || showHundreds;
    thousands->setVisible(showThousands);
    if (showThousands) vLoadImage(thousands, szDigitName(dThousands), "PNG");
    hundreds->setVisible(showHundreds);
    if (showHundreds) vLoadImage(hundreds, szDigitName(dHundreds), "PNG");
    tens->setVisible(showTens);
    if (showTens) vLoadImage(tens, szDigitName(dTens), "PNG");
    vLoadImage(units, szDigitName(dUnits), "PNG");
    vLoadImage(point, "POINT", "PNG");
    vLoadImage(tenths, szDigitName(dTenths), "PNG");
    vLoadImage(hundredths, szDigitName(dHundredths), "PNG");
    vLoadImage(unit, unitName, "PNG");
}

// The progress bar of the testing page: the percent rounded to tens, the phase's pictures.
void TMainForm::vShowProgress(RunPhase phase, int percent) {
    const int r = ((percent + 5) / 10) * 10;
    if (r >= 100) {
        if (phase == RunPhase::Upload) vLoadImage(ImgStatus, "TEXT_UPLINK_END", "PNG");
        else if (phase == RunPhase::Download) vLoadImage(ImgStatus, "TEXT_DOWNLINK_END", "PNG");
        vLoadImage(ImgBar, "PERCENT_BAR_100", "PNG");
        vLoadImage(ImgBarNum, "PERCENT_100", "PNG");
        vScreenshot(phase == RunPhase::Upload     ? "testing-upload-done"
                    : phase == RunPhase::Download ? "testing-download-done"
                                                  : "testing-ready");
        return;
    }
    const std::string step = std::to_string(r);
    const bool upload = phase == RunPhase::Upload, download = phase == RunPhase::Download;
    vLoadImage(ImgStatus, upload ? "TEXT_UPLINK" : (download ? "TEXT_DOWNLINK" : "TEXT_CONFIG"), "PNG");
    vLoadImage(ImgBar, "PERCENT_BAR_" + step, "PNG");
    vLoadImage(ImgBarNum, "PERCENT_" + step, "PNG");
    vLoadImage(ImgHint, upload ? "NOTICE_P3" : (download ? "NOTICE_P2" : "NOTICE_P1"), "PNG");
}

void TMainForm::vShowSpeeds() {
    const std::vector<ImageControl*> down{ImgDown1000, ImgDown100,  ImgDown10,    ImgDown1,
                                          ImgDowndot,  ImgDowndot1, ImgDowndot01, ImgDownUnit};
    const std::vector<ImageControl*> up{ImgUp1000, ImgUp100,  ImgUp10,    ImgUp1,
                                        ImgUpdot,  ImgUpdot1, ImgUpdot01, ImgUpUnit};
    for (ImageControl* image : down) image->show();
    for (ImageControl* image : up) image->show();
    ImgDownlinkTitle->show();
    ImgUplinkTitle->show();
    vShowSpeedRow(shownDownloadKbps, down, "MBPS");
    vShowSpeedRow(shownUploadKbps, up, "KBPS");
}

}  // namespace kivota
