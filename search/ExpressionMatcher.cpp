#include "search/ExpressionMatcher.h"

#include <array>
#include <exception>

#include <boost/regex.hpp>

#include "core/TextCompare.h"
#include "search/Query.h"

namespace {

// The library folds case and tells letters through the C++ locale, which in
// the "C" locale leaves every byte above 0x7F alone. Names are Windows-1252
// in practice, so case is folded from our own table instead, the same one
// every other case-insensitive comparison of the program uses, and its
// letters count as letters in [[:alpha:]], [[:upper:]], \w and the like.
class Latin1RegexTraits : public boost::regex_traits<char> {
public:
    using Base = boost::regex_traits<char>;

    Latin1RegexTraits() {
        for (size_t i = 0; i < m_fold.size(); ++i)
            m_fold[i] = static_cast<char>(FoldCase(static_cast<unsigned char>(i)));
    }

    char translate(char c) const { return c; }
    char translate_nocase(char c) const { return m_fold[static_cast<unsigned char>(c)]; }
    char translate(char c, bool icase) const { return icase ? translate_nocase(c) : c; }
    char tolower(char c) const { return translate_nocase(c); }
    char toupper(char c) const {
        return static_cast<char>(UpperCase(static_cast<unsigned char>(c)));
    }
    bool isctype(char c, char_class_type f) const {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 && IsLetter(u)) {
            // alnum and \w include the alpha bit.
            if ((f & std::ctype_base::alpha) ||
                (f &
                 boost::BOOST_REGEX_DETAIL_NS::cpp_regex_traits_implementation<char>::mask_word))
                return true;
            if ((f & std::ctype_base::upper) && IsUpperCaseLetter(u))
                return true;
            if ((f & std::ctype_base::lower) && IsLowerCaseLetter(u))
                return true;
        }
        return Base::isctype(c, f);
    }

private:
    std::array<char, 256> m_fold{};
};

using Latin1Regex = boost::basic_regex<char, Latin1RegexTraits>;

// The POSIX extended syntax, but with back-references, backslash escapes
// inside bracket lists and no locale collation.
constexpr boost::regex_constants::syntax_option_type kBaseSyntax =
    boost::regex_constants::extended & ~boost::regex_constants::no_escape_in_lists &
    ~boost::regbase::no_bk_refs & ~boost::regex_constants::collate;
static_assert(kBaseSyntax == boost::regbase::no_perl_ex);

// Only whether a name matches counts, never which match. The POSIX rule
// (leftmost-longest) keeps looking after the first match and needs a fresh
// result object for every name; the Perl rule stops at the first one. A match
// exists under one rule exactly when it exists under the other.
const boost::regex_constants::match_flag_type kSearchFlags = boost::regex_constants::match_default |
                                                             boost::regex_constants::match_any |
                                                             boost::regex_constants::match_perl;

} // namespace

struct ExpressionMatcher::Impl {
    Latin1Regex regex;
    bool compiled = false;
    // Kept between searches so that a search allocates nothing once the
    // first one has sized it.
    boost::match_results<const char*> results;

    // Most names cannot hold a match at all: no byte of theirs can begin
    // one. The compiled expression knows those bytes (its start map, which
    // its own search skips by), and a walk over the name is far cheaper than
    // setting up a search. An expression that can match the empty string
    // needs no first byte and always takes the search.
    bool MayStartIn(std::string_view text) const {
        if (regex.can_be_null())
            return true;
        const unsigned char* map = regex.get_map();
        for (char c : text)
            if (map[static_cast<unsigned char>(c)] & boost::BOOST_REGEX_DETAIL_NS::mask_any)
                return true;
        return false;
    }
};

ExpressionMatcher::ExpressionMatcher() : m_pImpl(std::make_unique<Impl>()) {}
ExpressionMatcher::~ExpressionMatcher() = default;
ExpressionMatcher::ExpressionMatcher(ExpressionMatcher&&) noexcept = default;
ExpressionMatcher& ExpressionMatcher::operator=(ExpressionMatcher&&) noexcept = default;

bool ExpressionMatcher::Compile(const std::string& expression, uint32_t flags, std::string& error) {
    if (!m_pImpl)
        m_pImpl = std::make_unique<Impl>();
    m_pImpl->compiled = false;
    boost::regex_constants::syntax_option_type options = kBaseSyntax;
    if (!(flags & QF_MATCHCASE))
        options |= boost::regex_constants::icase;
    if (!(flags & QF_REGEX))
        options |= boost::regex_constants::literal;
    try {
        m_pImpl->regex.assign(expression.data(), expression.data() + expression.size(), options);
    } catch (const boost::regex_error& e) {
        error = e.what();
        return false;
    } catch (const std::exception& e) {
        // Running out of memory on a huge expression is reported the same way.
        error = e.what();
        return false;
    }
    m_pImpl->compiled = true;
    return true;
}

bool ExpressionMatcher::Search(std::string_view text) const {
    if (!m_pImpl || !m_pImpl->compiled)
        return false;
    if (!m_pImpl->MayStartIn(text))
        return false;
    try {
        return boost::regex_search(text.data(), text.data() + text.size(), m_pImpl->results,
                                   m_pImpl->regex, kSearchFlags);
    } catch (const std::exception&) {
        // An expression that backtracks beyond the library's bounds on this
        // text throws; a server controls its names, so that is not a match
        // rather than the end of the program.
        return false;
    }
}
