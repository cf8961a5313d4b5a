#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// A query's search string compiled for matching: a POSIX extended regular
// expression (with back-references, backslash escapes inside bracket lists,
// no locale collation) when QF_REGEX is set, literal text otherwise; case
// ignored unless QF_MATCHCASE.
class ExpressionMatcher {
public:
    ExpressionMatcher();
    ~ExpressionMatcher();
    ExpressionMatcher(ExpressionMatcher&&) noexcept;
    ExpressionMatcher& operator=(ExpressionMatcher&&) noexcept;

    // False with the library's description of the error.
    bool Compile(const std::string& expression, uint32_t flags, std::string& error);
    // True when the expression is found anywhere in the text.
    bool Search(std::string_view text) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};
