// Checking, before any conversion, that the languages asked for can be recognised.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace tesseract {
class TessBaseAPI;
}

namespace trelvane::ocr {

struct LanguageCheck {
    bool ok = false;
    std::vector<std::string> languages;  // as asked for, in order
    std::vector<std::string> missing;    // those whose data is not installed
    // When ok: the list as Tesseract names the installed data ("ENG" asked for, "eng" here).
    std::string resolved;
    // For the user when not ok: the Debian package of a language that has one, "unknown
    // language 'x'" otherwise, and the languages installed.
    std::string message;
};

// Splits "deu+eng" into its names; empty when the text is not a valid language list (names
// of letters, digits and '_' joined by '+').
std::vector<std::string> split_languages(const std::string& languages);

// The Debian package that carries a language's data: "deu" -> "tesseract-ocr-deu",
// "chi_sim" -> "tesseract-ocr-chi-sim".
std::string debian_package_for(const std::string& language);

// Loads each language once (on the calling thread), in another case when only that is
// installed, and names the packages to install for the ones that fail. Tesseract's own
// messages are silenced. `data_path` as in OcrOptions.
LanguageCheck check_languages(const std::string& languages, const std::string& data_path = {});

// Sets up an engine for the languages ('+'-joined) under tesseract_setup_mutex, with
// Tesseract's own messages silenced: a loaded engine's through its debug_file, and those it
// prints while it looks for the data by sending standard error nowhere meanwhile. False when
// Tesseract cannot load them.
bool init_quietly(tesseract::TessBaseAPI& api, const std::string& languages,
                  const std::string& data_path);

// Tesseract keeps some of the parameters that Init sets (debug_file among them) in globals shared
// by every engine of the process, so engines are set up one at a time under this lock;
// recognition itself runs on each engine's own state, in parallel.
std::mutex& tesseract_setup_mutex();

}  // namespace trelvane::ocr
