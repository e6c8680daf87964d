#pragma once
// An Operator for tests: records everything the core shows and answers from a script.
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lib/Operator.h"

namespace vorn::test {

class RecordingOperator : public Operator {
public:
    struct Line {
        std::string text;
        std::uint32_t colour;
    };
    struct Event {
        int code;
        std::string text;
    };

    // What was shown.
    std::vector<Line> console;   // every AppendConsole call
    std::vector<Line> progress;  // every ReplaceProgress call
    std::string screen;          // the console as it looks, progress rewritten in place
    std::string title;
    std::vector<Event> wizard, updatePage, checkPage;
    std::vector<std::string> messages;  // ShowMessage and the questions asked

    // Script.
    bool answerYes = false;
    std::deque<std::string> typed;              // answers of AskText, in order
    std::optional<std::pair<int, int>> device;  // answer of ChooseDevice; none = cancel
    std::optional<std::string> openFile, saveFile;

    void AppendConsole(const std::string& text, std::uint32_t colour) override {
        console.push_back({text, colour});
        screen += text;
    }
    void SetProgressAnchor() override { m_anchor = screen.size(); }
    void ReplaceProgress(const std::string& text, std::uint32_t colour) override {
        progress.push_back({text, colour});
        if (screen.size() < m_anchor)
            m_anchor = screen.size();
        screen.resize(m_anchor);
        screen += text;
    }
    void SetWindowTitle(const std::string& t) override { title = t; }
    bool OnAskYesNo(const std::string& text) override {
        messages.push_back(text);
        return answerYes;
    }
    bool OnAskOkCancel(const std::string& text) override {
        messages.push_back(text);
        return answerYes;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::optional<std::string> OnAskText(const std::string& prompt, bool) override {
        messages.push_back(prompt);
        if (typed.empty())
            return std::nullopt;
        std::string t = typed.front();
        typed.pop_front();
        return t;
    }
    std::optional<std::string> OnChooseOpenFile(const std::string&, const std::string&) override {
        return openFile;
    }
    std::optional<std::string> OnChooseSaveFile(const std::string&, const std::string&) override {
        return saveFile;
    }
    bool OnChooseDevice(int& model, int& series) override {
        if (!device)
            return false;
        model = device->first;
        series = device->second;
        return true;
    }
    void NotifyWizard(int code, const std::string& text) override {
        wizard.push_back({code, text});
    }
    int NotifyUpdatePage(int code, const std::string& text) override {
        updatePage.push_back({code, text});
        return -1;
    }
    int NotifyCheckPage(int code, const std::string& text) override {
        checkPage.push_back({code, text});
        return -1;
    }

    // Helpers for assertions.
    std::string ConsoleText() const {
        std::string all;
        for (const Line& l : console) all += l.text;
        return all;
    }
    bool ShowedInRed(const std::string& text) const { return ShownIn(text, kRed); }
    // The update-page events as (code, text) pairs.
    std::vector<std::pair<int, std::string>> UpdateEvents() const {
        std::vector<std::pair<int, std::string>> out;
        for (const Event& e : updatePage) out.emplace_back(e.code, e.text);
        return out;
    }
    bool Shown(const std::string& text) const {
        for (const Line& l : console) {
            if (l.text.find(text) != std::string::npos)
                return true;
        }
        return false;
    }
    bool ShownIn(const std::string& text, std::uint32_t colour) const {
        for (const Line& l : console) {
            if (l.colour == colour && l.text.find(text) != std::string::npos)
                return true;
        }
        return false;
    }
    bool HasWizard(int code) const {
        for (const Event& e : wizard) {
            if (e.code == code)
                return true;
        }
        return false;
    }

private:
    std::size_t m_anchor = 0;
};

}  // namespace vorn::test
