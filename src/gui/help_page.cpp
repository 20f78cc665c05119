#include "gui/help_page.h"

#include <QUrl>
#include <vector>

#include "platform/file_system.h"
#include "platform/paths.h"

namespace trelvane::gui {

std::string find_help_page(const std::string& program_folder) {
    const std::string name = std::string(1, platform::kPathSeparator) + kHelpPageName;
    std::vector<std::string> candidates;
    if (!program_folder.empty()) {
        candidates.push_back(program_folder + name);
        candidates.push_back(program_folder + "/../" TRELVANE_INSTALL_HELPDIR + name);
    }
    candidates.push_back(std::string(TRELVANE_INSTALL_FULL_HELPDIR) + name);
    for (const std::string& candidate : candidates) {
        if (platform::file_exists(candidate)) {
            return candidate;
        }
    }
    return {};
}

std::string file_url(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    return QUrl::fromLocalFile(QString::fromStdString(path)).toString().toStdString();
}

}  // namespace trelvane::gui
