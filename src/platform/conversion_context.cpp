#include "platform/conversion_context.h"

namespace trelvane::platform {
namespace {

thread_local ConversionContext t_context;

}  // namespace

ConversionScope::ConversionScope(const ConversionContext& context) : outer_(t_context) {
    t_context = context;
}

ConversionScope::~ConversionScope() {
    t_context = outer_;
}

const ConversionContext& conversion_context() {
    return t_context;
}

}  // namespace trelvane::platform
