#include "gui/tray_icon.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

namespace trelvane::gui {

TrayIcon::TrayIcon(const QIcon& icon, QObject* parent)
    : QObject(parent), menu_(std::make_unique<QMenu>()), icon_(new QSystemTrayIcon(icon, this)) {
    open_action_ = menu_->addAction(tr("&Open..."));
    about_action_ = menu_->addAction(tr("&About..."));
    exit_action_ = menu_->addAction(tr("E&xit"));
    // The default item is drawn bold and is what a double click does.
    menu_->setDefaultAction(open_action_);
    icon_->setContextMenu(menu_.get());
    icon_->setToolTip(QString::fromLatin1(kTrayTipText));

    connect(open_action_, &QAction::triggered, this, &TrayIcon::open_requested);
    connect(about_action_, &QAction::triggered, this, &TrayIcon::about_requested);
    connect(exit_action_, &QAction::triggered, this, &TrayIcon::exit_requested);
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) {
                    open_action_->trigger();
                }
            });
}

TrayIcon::~TrayIcon() {
    remove();
}

bool TrayIcon::add() {
    if (added_) {
        return true;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return false;
    }
    icon_->show();
    added_ = icon_->isVisible();
    return added_;
}

void TrayIcon::remove() {
    if (added_) {
        icon_->hide();
        added_ = false;
    }
}

}  // namespace trelvane::gui
