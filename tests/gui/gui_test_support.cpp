#include "gui_test_support.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <cstdlib>
#include <memory>

#include "app/batch_job.h"

namespace trelvane::guitest {

namespace {

// Owns the application from before the first test until after the last, so that it goes
// before the statics it relies on (a platform connection closed at exit can crash).
class ApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_gui";
        static char* argv[] = {name, nullptr};
        if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
        application_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { application_.reset(); }

    QApplication* application() const { return application_.get(); }

  private:
    std::unique_ptr<QApplication> application_;
};

// gtest owns registered environments.
ApplicationEnvironment* const application_environment = static_cast<ApplicationEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment));

}  // namespace

QApplication& test_application() {
    return *application_environment->application();
}

bool process_events_until(const std::function<bool()>& condition,
                          std::chrono::milliseconds timeout) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeout.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

GlobalSettingsGuard::GlobalSettingsGuard() {
    const faxread::ConversionSettings saved = app::global_settings();
    restore_ = [saved] { app::global_settings() = saved; };
}

GlobalSettingsGuard::~GlobalSettingsGuard() {
    restore_();
}

}  // namespace trelvane::guitest
