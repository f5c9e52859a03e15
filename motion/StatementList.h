#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pm {

// The entries of List1, stored compactly: all texts in one buffer and the
// end offset of each. Memory stays close to the text, and appending does
// not slow down as the list grows.
class StatementList {
public:
    void add(std::string_view entry) {
        text_.append(entry);
        ends_.push_back(text_.size());
    }
    void clear() {
        text_.clear();
        text_.shrink_to_fit();
        ends_.clear();
        ends_.shrink_to_fit();
    }
    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    std::string_view at(std::size_t i) const {
        const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(text_).substr(begin, ends_[i] - begin);
    }
    std::size_t bytes() const {
        return text_.capacity() + ends_.capacity() * sizeof(std::size_t);
    }

private:
    std::string text_;
    std::vector<std::size_t> ends_;
};

}  // namespace pm
