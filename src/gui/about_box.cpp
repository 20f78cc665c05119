#include "gui/about_box.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

#include "gui/prompter.h"
#include "gui/window_colours.h"

namespace trelvane::gui {

namespace {

QLabel* link_label(const QString& url, const QString& text, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::RichText);
    label->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toHtmlEscaped(), text));
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(false);
    return label;
}

}  // namespace

AboutBox::AboutBox(const QIcon& icon, const std::string& home_url, const std::string& support_mail,
                   Prompter* prompter, QWidget* parent)
    : QDialog(parent), home_url_(home_url), prompter_(prompter) {
    setWindowTitle(tr("About"));
    setWindowIcon(icon);
    apply_colours(this, kWindowBackground, kWindowEditBackground);

    auto* icon_label = new QLabel(this);
    icon_label->setPixmap(icon.pixmap(32, 32));
    auto* name_label = new QLabel(QString::fromLatin1(kAboutText), this);

    auto* group = new QGroupBox(tr("About Vuvod Trelvane"), this);
    home_link_ = link_label(QString::fromStdString(home_url), tr("Home Page"), group);
    home_link_->setContextMenuPolicy(Qt::CustomContextMenu);
    const QString mail = QString::fromStdString(support_mail);
    support_link_ = link_label(QStringLiteral("mailto:") + mail, mail, group);
    auto* group_layout = new QVBoxLayout(group);
    group_layout->addWidget(new QLabel(tr("Converts WinFax fax files (fxd, fxm, fxr, fxs) into "
                                          "PDF files, page for page, without loss."),
                                       group));
    group_layout->addWidget(home_link_);
    group_layout->addWidget(support_link_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);

    auto* top = new QHBoxLayout;
    top->addWidget(icon_label);
    top->addWidget(name_label, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(group);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(home_link_, &QLabel::linkActivated, this, &AboutBox::open_link);
    connect(support_link_, &QLabel::linkActivated, this, &AboutBox::open_link);
    connect(home_link_, &QLabel::customContextMenuRequested, this, &AboutBox::show_link_menu);
}

void AboutBox::open_link(const QString& url) {
    // Without a help page the home-page link leads nowhere, and nothing happens.
    if (!url.isEmpty() && prompter_ != nullptr) {
        prompter_->open_url(url.toStdString(), {});
    }
}

bool AboutBox::copy_home_link() const {
    if (home_url_.empty() || home_url_.size() > kMaxCopiedLinkLength) {
        return false;
    }
    QGuiApplication::clipboard()->setText(QString::fromStdString(home_url_));
    return true;
}

void AboutBox::show_link_menu(const QPoint& position) {
    QMenu menu(tr("Hyper Link"), this);
    QAction* copy = menu.addAction(tr("Copy Shortcuts"));
    if (menu.exec(home_link_->mapToGlobal(position)) == copy) {
        copy_home_link();
    }
}

}  // namespace trelvane::gui
