// The about box: program name and build, the home-page link (the help page) and the support
// mail link.
#pragma once

#include <QDialog>
#include <string>

class QIcon;
class QLabel;

namespace trelvane::gui {

class Prompter;

inline constexpr const char* kAboutText = "Vuvod Trelvane V3.00, build 0903";
// Addresses of 259 characters or more are not put on the clipboard.
inline constexpr size_t kMaxCopiedLinkLength = 258;

class AboutBox : public QDialog {
    Q_OBJECT

  public:
    AboutBox(const QIcon& icon, const std::string& home_url, const std::string& support_mail,
             Prompter* prompter, QWidget* parent = nullptr);

    QLabel* home_link() const { return home_link_; }
    QLabel* support_link() const { return support_link_; }
    // "Copy Shortcuts" of the home-page link's menu. False when nothing was copied.
    bool copy_home_link() const;

  private:
    void open_link(const QString& url);
    void show_link_menu(const QPoint& position);

    std::string home_url_;
    Prompter* prompter_;
    QLabel* home_link_ = nullptr;
    QLabel* support_link_ = nullptr;
};

}  // namespace trelvane::gui
