#include "ocr/ocr_languages.h"

#include <tesseract/baseapi.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "platform/quiet_standard_error.h"

namespace trelvane::ocr {
namespace {

// The languages Debian packages as tesseract-ocr-NAME (with '-' for '_'), as apt-cache lists
// them on Debian 12; a name not here gets no package suggestion.
constexpr std::array<std::string_view, 124> kPackagedLanguages = {
    "afr",          "amh",     "ara",          "asm",      "aze",     "aze_cyrl", "bel", "ben",
    "bod",          "bos",     "bre",          "bul",      "cat",     "ceb",      "ces", "chi_sim",
    "chi_sim_vert", "chi_tra", "chi_tra_vert", "chr",      "cos",     "cym",      "dan", "deu",
    "div",          "dzo",     "ell",          "eng",      "enm",     "epo",      "est", "eus",
    "fao",          "fas",     "fil",          "fin",      "fra",     "frk",      "frm", "fry",
    "gla",          "gle",     "glg",          "grc",      "guj",     "hat",      "heb", "hin",
    "hrv",          "hun",     "hye",          "iku",      "ind",     "isl",      "ita", "ita_old",
    "jav",          "jpn",     "jpn_vert",     "kan",      "kat",     "kat_old",  "kaz", "khm",
    "kir",          "kmr",     "kor",          "kor_vert", "lao",     "lat",      "lav", "lit",
    "ltz",          "mal",     "mar",          "mkd",      "mlt",     "mon",      "mri", "msa",
    "mya",          "nep",     "nld",          "nor",      "oci",     "ori",      "osd", "pan",
    "pol",          "por",     "pus",          "que",      "ron",     "rus",      "san", "sin",
    "slk",          "slv",     "snd",          "spa",      "spa_old", "sqi",      "srp", "srp_latn",
    "sun",          "swa",     "swe",          "syr",      "tam",     "tat",      "tel", "tgk",
    "tha",          "tir",     "ton",          "tur",      "uig",     "ukr",      "urd", "uzb",
    "uzb_cyrl",     "vie",     "yid",          "yor"};

bool is_name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool loads(const std::string& language, const std::string& data_path) {
    tesseract::TessBaseAPI api;
    const bool ok = init_quietly(api, language, data_path);
    api.End();
    return ok;
}

// The languages in the data folder, found through an engine of a language that loads there.
std::vector<std::string> installed_languages(const std::string& data_path,
                                             const std::vector<std::string>& known_good) {
    std::vector<std::string> tries = known_good;
    tries.insert(tries.end(), {"eng", "osd"});
    for (const std::string& language : tries) {
        tesseract::TessBaseAPI api;
        if (!init_quietly(api, language, data_path)) {
            api.End();
            continue;
        }
        std::vector<std::string> installed;
        api.GetAvailableLanguagesAsVector(&installed);
        api.End();
        std::sort(installed.begin(), installed.end());
        return installed;
    }
    return {};
}

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : separator) + item;
    return text;
}

bool packaged(const std::string& language) {
    return std::find(kPackagedLanguages.begin(), kPackagedLanguages.end(), language) !=
           kPackagedLanguages.end();
}

}  // namespace

bool init_quietly(tesseract::TessBaseAPI& api, const std::string& languages,
                  const std::string& data_path) {
    const std::vector<std::string> names = {"debug_file"};
    const std::vector<std::string> values = {"/dev/null"};
    const char* data = data_path.empty() ? nullptr : data_path.c_str();
    std::lock_guard<std::mutex> setup(tesseract_setup_mutex());
    const platform::QuietStandardError quiet;
    return api.Init(data, languages.c_str(), tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values,
                    false) == 0;
}

std::mutex& tesseract_setup_mutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<std::string> split_languages(const std::string& languages) {
    std::vector<std::string> names;
    std::string current;
    for (const char c : languages) {
        if (c == '+') {
            if (current.empty())
                return {};
            names.push_back(current);
            current.clear();
        } else if (is_name_char(c)) {
            current += c;
        } else {
            return {};
        }
    }
    if (current.empty())
        return {};
    names.push_back(current);
    return names;
}

std::string debian_package_for(const std::string& language) {
    std::string package = "tesseract-ocr-";
    for (const char c : lower(language))
        package += c == '_' ? '-' : c;
    return package;
}

LanguageCheck check_languages(const std::string& languages, const std::string& data_path) {
    LanguageCheck check;
    check.languages = split_languages(languages);
    if (check.languages.empty()) {
        check.message = "Invalid OCR language list '" + languages +
                        "': give Tesseract language names joined by '+', such as eng or deu+eng";
        return check;
    }
    std::vector<std::string> resolved;
    std::vector<std::string> good;
    std::vector<size_t> failed;
    for (size_t i = 0; i < check.languages.size(); ++i) {
        const bool ok = loads(check.languages[i], data_path);
        resolved.push_back(ok ? check.languages[i] : std::string());
        if (ok) {
            good.push_back(check.languages[i]);
        } else {
            failed.push_back(i);
        }
    }
    // Names in another case ("ENG") are the installed language of that name.
    std::vector<std::string> installed;
    if (!failed.empty())
        installed = installed_languages(data_path, good);
    for (const size_t i : failed) {
        const std::string wanted = lower(check.languages[i]);
        const auto same =
            std::find_if(installed.begin(), installed.end(),
                         [&](const std::string& name) { return lower(name) == wanted; });
        if (same != installed.end() && loads(*same, data_path)) {
            resolved[i] = *same;
        } else {
            check.missing.push_back(check.languages[i]);
        }
    }
    check.ok = check.missing.empty();
    if (check.ok) {
        check.resolved = joined(resolved, "+");
        return check;
    }
    std::vector<std::string> uninstalled, unknown, packages;
    for (const std::string& language : check.missing) {
        if (packaged(lower(language))) {
            uninstalled.push_back(language);
            packages.push_back(debian_package_for(language));
        } else {
            unknown.push_back("unknown language '" + language + "'");
        }
    }
    std::vector<std::string> parts;
    if (!uninstalled.empty()) {
        parts.push_back("The OCR language data for " + joined(uninstalled, ", ") +
                        " is not installed: install it with apt-get install " +
                        joined(packages, " "));
    }
    parts.insert(parts.end(), unknown.begin(), unknown.end());
    parts.push_back("installed: " + (installed.empty() ? std::string("none (install "
                                                                     "tesseract-ocr-eng)")
                                                       : joined(installed, ", ")));
    check.message = joined(parts, "; ");
    return check;
}

}  // namespace trelvane::ocr
