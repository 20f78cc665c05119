// The module's side: Tesseract engines behind the PageReader interface.
#include "ocr/ocr_module.h"

namespace trelvane::ocr {
namespace {

class EngineReader final : public PageReader {
  public:
    explicit EngineReader(std::unique_ptr<OcrEngine> engine) : engine_(std::move(engine)) {}
    OcrResult recognise(const PageBitmap& page) override { return engine_->recognise(page); }

  private:
    std::unique_ptr<OcrEngine> engine_;
};

std::unique_ptr<PageReader> create_reader(const OcrOptions& options, std::string* error) {
    std::unique_ptr<OcrEngine> engine = OcrEngine::create(options, error);
    if (!engine)
        return nullptr;
    return std::make_unique<EngineReader>(std::move(engine));
}

}  // namespace
}  // namespace trelvane::ocr

extern "C" __attribute__((visibility("default"))) const trelvane::ocr::OcrModule*
trelvane_ocr_module() {
    static const trelvane::ocr::OcrModule module{trelvane::ocr::kOcrModuleVersion,
                                                 &trelvane::ocr::create_reader,
                                                 &trelvane::ocr::check_languages};
    return &module;
}
