// Text recognition lives in a module of its own, trelvane-ocr.so, that the program loads the
// first time a run asks for text. Tesseract brings some fifty shared libraries, and loading them
// costs about 20 ms of every start: runs without /ocr, most of them and many one file each, no
// longer pay it. The module is built with the program, so C++ types cross between the two.
#pragma once

#include <memory>
#include <string>

#include "ocr/ocr_engine.h"
#include "ocr/ocr_languages.h"

namespace trelvane::ocr {

// One engine's recognition, behind an interface so that the program calls into the module
// through its virtual functions only. Used on one thread at a time.
class PageReader {
  public:
    virtual ~PageReader() = default;
    virtual OcrResult recognise(const PageBitmap& page) = 0;
};

struct OcrModule {
    int version = 0;  // kOcrModuleVersion of the module's build
    // As OcrEngine::create.
    std::unique_ptr<PageReader> (*create_reader)(const OcrOptions& options,
                                                 std::string* error) = nullptr;
    // As check_languages.
    LanguageCheck (*check_languages)(const std::string& languages,
                                     const std::string& data_path) = nullptr;
};

inline constexpr int kOcrModuleVersion = 2;

// The module's file name, and where it is looked for: beside the program (a build folder), then
// in the folder the package installs it to, relative to the program.
inline constexpr const char* kOcrModuleName = "trelvane-ocr.so";

// The module, loaded on first use (from any thread; once per process). nullptr, with *error
// saying which files were tried and why each failed, when it cannot be loaded. A program that
// has the recognition linked in (the tests) uses that instead.
const OcrModule* load_ocr_module(std::string* error);

}  // namespace trelvane::ocr

// Defined by the module (and by the object library the tests link).
extern "C" const trelvane::ocr::OcrModule* trelvane_ocr_module();
