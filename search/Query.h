#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t QF_REGEX = 1;     // the search string is a regular expression
constexpr uint32_t QF_MATCHCASE = 2; // letter case must match

// A named search expression: player queries, and Find Servers.
class Query {
public:
    Query() = default;
    Query(std::string name, std::string expression, uint32_t flags)
        : m_strName(std::move(name)), m_strExpression(std::move(expression)), m_dwFlags(flags) {}
    virtual ~Query() = default;
    Query(const Query&) = default;
    Query& operator=(const Query&) = default;

    // "%s:  \"%s\"  " with the name (or "<no name>") and the expression.
    virtual std::string GetLabel() const;
    // The name, or the expression when the name is empty.
    const std::string& GetDisplayName() const;

    std::string m_strName;
    std::string m_strExpression;
    uint32_t m_dwFlags = QF_REGEX;
    // Watched: every refresh compares the query's players with the last ones
    // and tells the user who came (and, with m_bWatchLeaving, who left).
    bool m_bWatch = false;
    bool m_bWatchLeaving = false;
};
