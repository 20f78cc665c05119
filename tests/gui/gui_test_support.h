// Helpers for the window tests: one QApplication for the process (offscreen unless a test
// asks for a real display) and a prompter that records messages and answers the pickers.
#pragma once

#include <sys/types.h>
#include <QApplication>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gui/prompter.h"
#include "sample_fax.h"

namespace trelvane::guitest {

// The application, created before the first test. QT_QPA_PLATFORM defaults to "offscreen".
QApplication& test_application();

struct RecordedMessage {
    gui::MessageKind kind;
    std::string caption;
    std::string text;
};

class RecordingPrompter : public gui::Prompter {
  public:
    void show_message(QWidget*, gui::MessageKind kind, const std::string& caption,
                      const std::string& text) override {
        messages.push_back({kind, caption, text});
    }
    std::optional<std::string> choose_folder(QWidget*, const std::string&) override {
        if (folder_answers.empty()) {
            return std::nullopt;
        }
        std::optional<std::string> answer = folder_answers.front();
        folder_answers.pop_front();
        return answer;
    }
    std::optional<gui::FileSelection> choose_files(QWidget*, const std::string&,
                                                   const std::string& filter) override {
        file_filters.push_back(filter);
        if (file_answers.empty()) {
            return std::nullopt;
        }
        std::optional<gui::FileSelection> answer = file_answers.front();
        file_answers.pop_front();
        return answer;
    }
    void open_url(const std::string& url, std::function<void()> failed) override {
        opened_urls.push_back(url);
        if (fail_urls && failed) {
            failed();
        }
    }

    std::vector<RecordedMessage> messages;
    std::deque<std::optional<std::string>> folder_answers;
    std::deque<std::optional<gui::FileSelection>> file_answers;
    std::vector<std::string> file_filters;
    std::vector<std::string> opened_urls;
    bool fail_urls = false;  // as on a desktop without a browser
};

// Processes events until the condition holds or the time runs out; returns the condition.
bool process_events_until(const std::function<bool()>& condition,
                          std::chrono::milliseconds timeout = std::chrono::seconds(60));

// Records the values a one-argument signal sends, for as long as it lives.
template <typename T>
class SignalLog {
  public:
    template <typename Sender, typename Signal>
    SignalLog(Sender* sender, Signal signal)
        : connection_(
              QObject::connect(sender, signal, [this](T value) { values.push_back(value); })) {}
    ~SignalLog() { QObject::disconnect(connection_); }
    SignalLog(const SignalLog&) = delete;
    SignalLog& operator=(const SignalLog&) = delete;

    size_t count() const { return values.size(); }
    std::vector<T> values;

  private:
    QMetaObject::Connection connection_;
};

// Starts a helper program (an X server, a tray host, the program under test) in the background
// with extra environment entries; returns its process id, or -1.
pid_t spawn_background(const std::vector<std::string>& argv,
                       const std::vector<std::string>& extra_env);
// SIGTERM, then waits for it; nothing for a pid of 0 or less.
void stop_background(pid_t pid);

// An Xvfb server on a free display for as long as it lives.
class XvfbDisplay {
  public:
    XvfbDisplay();
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    bool running() const { return pid_ > 0 && ready_; }
    const std::string& name() const { return name_; }  // ":N"

  private:
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string name_;
};

// Saves and restores the global conversion settings around a test that changes them.
class GlobalSettingsGuard {
  public:
    GlobalSettingsGuard();
    ~GlobalSettingsGuard();

  private:
    std::function<void()> restore_;
};

}  // namespace trelvane::guitest
