// The notification-area icon: its tip, its menu ("&Open...", "&About...", "E&xit") and the
// double click that brings the window back.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QIcon;

namespace trelvane::gui {

inline constexpr const char* kTrayTipText = "Vuvod Trelvane\nConvert WinFax fxd/fxm/fxr/fxs to pdf";

class TrayIcon : public QObject {
    Q_OBJECT

  public:
    TrayIcon(const QIcon& icon, QObject* parent = nullptr);
    ~TrayIcon() override;

    // Shows the icon when the desktop has a notification area. True when it was added.
    bool add();
    bool added() const { return added_; }
    void remove();

    QMenu* menu() const { return menu_.get(); }
    QAction* open_action() const { return open_action_; }
    QAction* about_action() const { return about_action_; }
    QAction* exit_action() const { return exit_action_; }
    QSystemTrayIcon* icon() const { return icon_; }

  signals:
    void open_requested();
    void about_requested();
    void exit_requested();

  private:
    std::unique_ptr<QMenu> menu_;  // a menu has no parent widget; the icon only borrows it
    QSystemTrayIcon* icon_ = nullptr;
    QAction* open_action_ = nullptr;
    QAction* about_action_ = nullptr;
    QAction* exit_action_ = nullptr;
    bool added_ = false;
};

}  // namespace trelvane::gui
