#include "gui_test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QThread>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "app/batch_job.h"

extern char** environ;

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

pid_t spawn_background(const std::vector<std::string>& argv,
                       const std::vector<std::string>& extra_env) {
    std::vector<std::string> env_texts(extra_env);
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& extra : extra_env) {
            replaced = replaced || extra.starts_with(name + "=");
        }
        if (!replaced) {
            env_texts.push_back(entry);
        }
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> envs;
    for (std::string& e : env_texts) {
        envs.push_back(e.data());
    }
    envs.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), envs.data());
    return failed == 0 ? pid : -1;
}

void stop_background(pid_t pid) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
}

XvfbDisplay::XvfbDisplay() {
    int display = 0;
    for (display = 70 + getpid() % 100; display < 300; ++display) {
        if (access(("/tmp/.X11-unix/X" + std::to_string(display)).c_str(), F_OK) != 0 &&
            access(("/tmp/.X" + std::to_string(display) + "-lock").c_str(), F_OK) != 0) {
            break;
        }
    }
    name_ = ":" + std::to_string(display);
    pid_ = spawn_background({"Xvfb", name_, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, {});
    if (pid_ <= 0) {
        return;
    }
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
    for (int i = 0; i < 200 && !ready_; ++i) {
        ready_ = access(socket.c_str(), F_OK) == 0;
        if (!ready_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

XvfbDisplay::~XvfbDisplay() {
    stop_background(pid_);
}

GlobalSettingsGuard::GlobalSettingsGuard() {
    const faxread::ConversionSettings saved = app::global_settings();
    restore_ = [saved] { app::global_settings() = saved; };
}

GlobalSettingsGuard::~GlobalSettingsGuard() {
    restore_();
}

}  // namespace trelvane::guitest
