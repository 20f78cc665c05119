#include "gui/prompter.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
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

void DialogPrompter::open_url(const std::string& url, std::function<void()> failed) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // xdg-open tells through its exit status whether anything could open the address;
    // QDesktopServices only tells whether xdg-open itself started.
    auto* process = new QProcess;
    // The browser may outlive the window: it must not write into pipes that close with it.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, failed](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) {
                             return;
                         }
                         if (failed) {
                             failed();
                         }
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::finished, process,
                     [process, failed](int code, QProcess::ExitStatus status) {
                         if ((status != QProcess::NormalExit || code != 0) && failed) {
                             failed();
                         }
                         process->deleteLater();
                     });
    process->start(QStringLiteral("xdg-open"), {q(url)});
#else
    if (!QDesktopServices::openUrl(QUrl(q(url))) && failed) {
        failed();
    }
#endif
}

}  // namespace trelvane::gui
