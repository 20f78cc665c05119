#include "gui_test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
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
    // Xvfb chooses a free display itself and writes its number once it takes connections, so
    // tests running side by side never share a display or connect before it is ready.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    constexpr int kDisplayFd = 3;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], kDisplayFd);
    // -noreset: by default the server resets when its last client leaves, and a program that
    // connects during the reset (the next one a test starts) is refused.
    const std::vector<std::string> argv = {"Xvfb",      "-displayfd", std::to_string(kDisplayFd),
                                           "-screen",   "0",          "1024x768x24",
                                           "-nolisten", "tcp",        "-noreset"};
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (failed != 0) {
        close(fds[0]);
        return;
    }
    pid_ = pid;
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd ready{fds[0], POLLIN, 0};
        if (poll(&ready, 1, 200) <= 0) {
            continue;
        }
        char c = 0;
        const ssize_t got = read(fds[0], &c, 1);
        if (got <= 0) {
            break;  // the server ended without taking a display
        }
        if (c == '\n') {
            ready_ = !number.empty();
            break;
        }
        number += c;
    }
    close(fds[0]);
    name_ = ":" + number;
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
