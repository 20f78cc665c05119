#include "gui/prompter.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <algorithm>

namespace trelvane::gui {

namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

void DialogPrompter::show_message(QWidget* parent, MessageKind kind, const std::string& caption,
                                  const std::string& text) {
    switch (kind) {
        case MessageKind::Warning:
            QMessageBox::warning(parent, q(caption), q(text));
            break;
        case MessageKind::Error:
            QMessageBox::critical(parent, q(caption), q(text));
            break;
        case MessageKind::Information:
            QMessageBox::information(parent, q(caption), q(text));
            break;
    }
}

std::optional<std::string> DialogPrompter::choose_folder(QWidget* parent,
                                                         const std::string& start) {
    const QString folder = QFileDialog::getExistingDirectory(parent, QString(), q(start));
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder.toStdString();
}

std::optional<FileSelection> DialogPrompter::choose_files(QWidget* parent, const std::string& start,
                                                          const std::string& filter) {
    // The filter edit holds a wildcard such as "*.*"; the dialog shows it as its only filter,
    // with "All files" beside it so another choice stays possible.
    // "*.*" means every name, with or without a dot, as in the folder walk; patterns listed
    // with semicolons are separated by spaces in a dialog filter.
    std::string pattern = filter.empty() || filter == "*.*" ? std::string("*") : filter;
    std::replace(pattern.begin(), pattern.end(), ';', ' ');
    const QString name_filter = q(pattern) + QStringLiteral(";;All files (*)");
    const QStringList files =
        QFileDialog::getOpenFileNames(parent, QString(), q(start), name_filter);
    if (files.isEmpty()) {
        return std::nullopt;
    }
    FileSelection selection;
    selection.folder = QFileInfo(files.front()).absolutePath().toStdString();
    for (const QString& file : files) {
        selection.names.push_back(QFileInfo(file).fileName().toStdString());
    }
    return selection;
}

void DialogPrompter::open_url(const std::string& url) {
    QDesktopServices::openUrl(QUrl(q(url)));
}

}  // namespace trelvane::gui
