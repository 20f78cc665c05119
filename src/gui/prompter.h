// The window's message boxes and pickers behind one small interface, so tests can answer the
// pickers and read the message texts without a user.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "gui/window_files.h"

class QWidget;

namespace trelvane::gui {

enum class MessageKind { Warning, Error, Information };

class Prompter {
  public:
    virtual ~Prompter() = default;
    virtual void show_message(QWidget* parent, MessageKind kind, const std::string& caption,
                              const std::string& text) = 0;
    // Nothing when the user cancels.
    virtual std::optional<std::string> choose_folder(QWidget* parent, const std::string& start) = 0;
    virtual std::optional<FileSelection> choose_files(QWidget* parent, const std::string& start,
                                                      const std::string& filter) = 0;
    // Hands a document or address to the desktop (browser, mail program). `failed`, when given,
    // runs on this thread (perhaps later) if nothing could open it.
    virtual void open_url(const std::string& url, std::function<void()> failed) = 0;
};

// Qt's message boxes and file dialogs.
class DialogPrompter : public Prompter {
  public:
    void show_message(QWidget* parent, MessageKind kind, const std::string& caption,
                      const std::string& text) override;
    std::optional<std::string> choose_folder(QWidget* parent, const std::string& start) override;
    std::optional<FileSelection> choose_files(QWidget* parent, const std::string& start,
                                              const std::string& filter) override;
    void open_url(const std::string& url, std::function<void()> failed) override;
};

}  // namespace trelvane::gui
