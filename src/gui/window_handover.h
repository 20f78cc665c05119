// One window per user: a second start hands its files to the window already running, which
// comes to the front and converts them, instead of opening a second window and tray icon whose
// automatic passes would convert the same folder.
#pragma once

#include <QObject>
#include <string>
#include <vector>

class QLocalServer;

namespace trelvane::gui {

// The local socket: one per user and display, in $XDG_RUNTIME_DIR (else the temporary folder).
std::string handover_name();

class WindowHandover : public QObject {
    Q_OBJECT

  public:
    explicit WindowHandover(std::string name = handover_name(), QObject* parent = nullptr);

    // A second start: true when a running window took the files (none: only to the front).
    bool hand_over(const std::vector<std::string>& files) const;

    // The first start: from now on other starts reach this one. A name left by a window that
    // ended without removing it is taken over. False when the socket cannot be made.
    bool listen();

  signals:
    // Another start asked for the window, with the files it was given (as absolute paths).
    void window_requested(const std::vector<std::string>& files);

  private:
    void take_connection();

    std::string name_;
    QLocalServer* server_ = nullptr;
};

}  // namespace trelvane::gui
