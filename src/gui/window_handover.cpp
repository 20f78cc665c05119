#include "gui/window_handover.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <cctype>
#include <cstdlib>

namespace trelvane::gui {

namespace {

// A running window answers at once; a name without a live window refuses at once too, so this
// only bounds a window that hangs.
constexpr int kConnectWaitMs = 1000;
constexpr int kWriteWaitMs = 2000;
// Paths are sent one a line; no path holds a line break that matters, and one that does is
// dropped rather than split.
constexpr char kSeparator = '\n';
// More than any desktop hands over at once; keeps a stray client from filling memory.
constexpr qint64 kMaxMessageBytes = 4 << 20;

}  // namespace

std::string handover_name() {
    // The user's runtime folder is theirs alone; /tmp is the fallback, with the owner checked.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder =
        runtime != nullptr && runtime[0] == '/' ? runtime : QDir::tempPath().toStdString();
    // One window per user and display: a second session of the same user has its own.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* x11 = std::getenv("DISPLAY");
    std::string display = wayland != nullptr && wayland[0] != '\0' ? wayland
                          : x11 != nullptr                         ? x11
                                                                   : "";
    for (char& c : display) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') {
            c = '_';
        }
    }
    return folder + "/trelvane-window-" + std::to_string(getuid()) +
           (display.empty() ? "" : "-" + display);
}

WindowHandover::WindowHandover(std::string name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {}

bool WindowHandover::hand_over(const std::vector<std::string>& files) const {
    // Only a window of this user's gets the paths: in a shared folder another user could have
    // made a socket of that name.
    const std::string path =
        name_.starts_with('/') ? name_ : QDir::tempPath().toStdString() + "/" + name_;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || st.st_uid != ::getuid() || !S_ISSOCK(st.st_mode)) {
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(name_));
    if (!socket.waitForConnected(kConnectWaitMs)) {
        return false;
    }
    QByteArray message;
    for (const std::string& file : files) {
        if (file.find(kSeparator) != std::string::npos) {
            continue;
        }
        // Absolute, as the running window has its own current folder.
        message += QDir::current().absoluteFilePath(QString::fromStdString(file)).toUtf8();
        message += kSeparator;
    }
    socket.write(message);
    const bool sent = message.isEmpty() || socket.waitForBytesWritten(kWriteWaitMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(kWriteWaitMs);
    }
    return sent;
}

bool WindowHandover::listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = QString::fromStdString(name_);
    if (!server_->listen(name)) {
        // hand_over found no window there: the name is a leftover.
        QLocalServer::removeServer(name);
        if (!server_->listen(name)) {
            return false;
        }
    }
    connect(server_, &QLocalServer::newConnection, this, &WindowHandover::take_connection);
    return true;
}

void WindowHandover::take_connection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        // The message is whole once the other start has hung up.
        const auto finish = [this, socket] {
            if (socket->property("finished").toBool()) {
                return;
            }
            socket->setProperty("finished", true);
            const QByteArray message = socket->readAll();
            socket->deleteLater();
            if (message.size() > kMaxMessageBytes) {
                return;
            }
            std::vector<std::string> files;
            for (const QByteArray& line : message.split(kSeparator)) {
                if (!line.isEmpty()) {
                    files.push_back(line.toStdString());
                }
            }
            emit window_requested(files);
        };
        connect(socket, &QLocalSocket::disconnected, this, finish);
        connect(socket, &QLocalSocket::readyRead, socket, [socket] {
            if (socket->bytesAvailable() > kMaxMessageBytes) {
                socket->abort();
            }
        });
        // A start quicker than this call has hung up already.
        if (socket->state() == QLocalSocket::UnconnectedState) {
            finish();
        }
    }
}

}  // namespace trelvane::gui
