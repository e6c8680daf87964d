#include "lib/Operator.h"

namespace vorn {
namespace {

template <typename T>
std::optional<T> Take(std::deque<T>& queue) {
    if (queue.empty()) {
        return std::nullopt;
    }
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
}

}  // namespace

bool Operator::AskYesNo(const std::string& text) {
    if (auto a = Take(m_nextAnswers)) {
        return *a;
    }
    return OnAskYesNo(text);
}

bool Operator::AskOkCancel(const std::string& text) {
    if (auto a = Take(m_nextAnswers)) {
        return *a;
    }
    return OnAskOkCancel(text);
}

std::optional<std::string> Operator::AskText(const std::string& prompt, bool secret) {
    if (auto a = Take(m_nextTexts)) {
        return *a;
    }
    return OnAskText(prompt, secret);
}

std::optional<std::string> Operator::ChooseOpenFile(const std::string& proposed,
                                                    const std::string& filter) {
    if (auto a = Take(m_nextFiles)) {
        return *a;
    }
    return OnChooseOpenFile(proposed, filter);
}

std::optional<std::string> Operator::ChooseSaveFile(const std::string& proposed,
                                                    const std::string& filter) {
    if (auto a = Take(m_nextFiles)) {
        return *a;
    }
    return OnChooseSaveFile(proposed, filter);
}

bool Operator::ChooseDevice(int& model, int& series) {
    if (auto a = Take(m_nextDevices)) {
        if (!*a) {
            return false;
        }
        model = (*a)->first;
        series = (*a)->second;
        return true;
    }
    return OnChooseDevice(model, series);
}

void Operator::SetNextAnswer(bool yes) {
    m_nextAnswers.push_back(yes);
}
void Operator::SetNextText(std::optional<std::string> text) {
    m_nextTexts.push_back(std::move(text));
}
void Operator::SetNextFileName(std::optional<std::string> name) {
    m_nextFiles.push_back(std::move(name));
}
void Operator::SetNextDevice(std::optional<std::pair<int, int>> device) {
    m_nextDevices.push_back(device);
}

std::size_t Operator::AnswersPending() const {
    return m_nextAnswers.size() + m_nextTexts.size() + m_nextFiles.size() + m_nextDevices.size();
}

}  // namespace vorn
