#pragma once
// Debug hooks for the demo and the documentation. Compiled only with the CMake option
// KIVOTA_DEMO_DRIVER (the debug and demo presets; never the release preset), and even then
// off unless their environment variable is set:
//   KIVOTA_SCREENSHOT_DIR=dir      the window saves dir/<nn>-<page>.png whenever a page is set up
//                                  and when a phase reaches 100 %
//   KIVOTA_AUTO_AGREE=1            presses "agree" on the agreement page (and "next" on the
//                                  bulletin, "back" on the update-offered page)
//   KIVOTA_AUTO_AGREE=tour         visits the setup document and the about page first, and
//                                  retests once from the results page
//   KIVOTA_EXIT_AFTER_RESULTS=s    closes the program s seconds after the results page (and
//                                  after the update-required and halted pages), once every
//                                  screenshot it still waits for is saved
// A screenshot still waiting when the window closes by itself is taken at once.

#include <map>
#include <string>

namespace kivota {

class TMainForm;

class DemoDriver {
public:
    DemoDriver();
    bool active() const { return !screenshotDir_.empty() || autoAgree_ || exitAfterMs_ >= 0; }
    // A page (or a notable state of one) is on screen.
    void vOnPage(TMainForm& form, const std::string& page);
    // The window's closing path has started: the screenshots still waiting are taken now.
    void vOnClosing(TMainForm& form);

private:
    struct Shot {
        std::string page;
        bool fromScreen = false;
    };
    void vScreenshot(TMainForm& form, const std::string& page);
    void vTakeShot(TMainForm& form, int number, const Shot& shot);
    // Closes the window now, or as soon as the last waiting screenshot is saved.
    void vCloseWhenShot(TMainForm& form);
    void vLater(TMainForm& form, int ms, int expectedPage, void (*action)(TMainForm&));

    std::string screenshotDir_;
    std::map<int, Shot> waiting_;  // by number, in the order they were asked for
    bool closeWhenShot_ = false;
    bool autoAgree_ = false;
    bool tour_ = false;
    int exitAfterMs_ = -1;
    int shots_ = 0;
    bool visitedSetupDoc_ = false;
    bool visitedAbout_ = false;
    bool retested_ = false;
};

}  // namespace kivota
