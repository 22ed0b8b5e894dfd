#include "Arguments.h"

namespace zelvar {

bool Arguments::next() {
    if (started_) ++at_;
    started_ = true;
    inlineValue_.reset();
    if (at_ >= arguments_.size()) return false;
    name_ = arguments_[at_];
    if (const auto equals = name_.find('=');
        name_.starts_with("--") && equals != std::string::npos) {
        inlineValue_ = name_.substr(equals + 1);
        name_.resize(equals);
    }
    return true;
}

std::optional<std::string> Arguments::value() {
    if (inlineValue_) return inlineValue_;
    if (at_ + 1 < arguments_.size()) return arguments_[++at_];
    return std::nullopt;
}

std::vector<std::string> Arguments::rest() {
    std::vector<std::string> left(arguments_.begin() + static_cast<std::ptrdiff_t>(at_) + 1,
                                  arguments_.end());
    at_ = arguments_.size() - 1;
    return left;
}

}  // namespace zelvar
