#pragma once
// An Operator that keeps the console lines written to it, to show them later in their order
// on another Operator: work done on a second thread reports after the work before it.
#include <string>
#include <utility>
#include <vector>

#include "lib/QuietOperator.h"

namespace vorn {

class CConsoleRecorder : public CQuietOperator {
public:
    void AppendConsole(const std::string& text, std::uint32_t colour) override {
        m_lines.emplace_back(text, colour);
    }
    void Replay(Operator& to) const {
        for (const auto& [text, colour] : m_lines) {
            to.AppendConsole(text, colour);
        }
    }

private:
    std::vector<std::pair<std::string, std::uint32_t>> m_lines;
};

}  // namespace vorn
