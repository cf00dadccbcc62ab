// Application entry: one copy per user, the window, the completion-code dialog, the event loop.
#include <QApplication>
#include <QMessageBox>
#include <QScreen>

#include <curl/curl.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <memory>

#ifdef KIVOTA_DEMO_DRIVER
#include "app/demo_driver.h"
#endif
#include "app/linux_run_environment.h"
#include "app/main_form.h"
#include "app/qt_message_boxes.h"
#include "app/single_instance.h"
#include "wiring/engine_root.h"

namespace {

// An exception that escapes a handler is shown in the application's standard box.
class KivotaApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            QMessageBox::critical(nullptr, QString::fromUtf8(kivota::kApplicationTitle), QString::fromUtf8(e.what()));
        } catch (...) {
            QMessageBox::critical(nullptr, QString::fromUtf8(kivota::kApplicationTitle),
                                  QStringLiteral("Unexpected error"));
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    // The embedded browser cannot use its sandbox as root.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    // The embedded browser shares its rendering contexts; this must precede the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Before any thread exists.
    curl_global_init(CURL_GLOBAL_ALL);

    KivotaApplication app(argc, argv);
    // The application name stays the program file's name: the instance lock records it and
    // compares it with the holder's process name when it checks whether the holder still runs.
    // The title is what the user sees on boxes without a caption of their own (QtMessageBoxes).

    kivota::SingleInstance instance(kivota::SingleInstance::defaultDirectory());
    QWidget* window = nullptr;
    if (!instance.bAcquire([&window] {
            if (window == nullptr) return;
            window->showNormal();
            window->raise();
            window->activateWindow();
        })) {
        return 0;
    }

    auto engine =
        std::make_shared<kivota::EngineRoot>(std::make_shared<kivota::StoredAddresses>(kivota::buildAddresses()));
    auto env = std::make_shared<kivota::LinuxRunEnvironment>();
    auto boxes = std::make_shared<kivota::QtMessageBoxes>(nullptr, kivota::kApplicationTitle);
    kivota::TMainForm form(engine, env, boxes);
    boxes->setParent(&form);
    window = &form;
#ifdef KIVOTA_DEMO_DRIVER
    kivota::DemoDriver demo;
    if (demo.active()) {
        form.onPageShown = [&demo](kivota::TMainForm& f, const std::string& page) { demo.vOnPage(f, page); };
        form.onClosing = [&demo](kivota::TMainForm& f) { demo.vOnClosing(f); };
    }
#endif

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        form.move(desk.center() - QPoint(form.width() / 2, form.height() / 2));
    }
    form.show();
    const int code = app.exec();

    // The closing path waited for every thread with a bound; one that still runs must not meet
    // the process's own clean-up, so the process ends at once then.
    if (!engine->bWaitThreadsEnded(std::chrono::milliseconds(0))) {
        std::fflush(nullptr);
        ::_exit(code);
    }
    window = nullptr;
    return code;
}
