#include "app/cli/CliOperator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>

#include "app/cli/TerminalText.h"
#include "lib/UpdatePageEvents.h"
#include "operations/CUpdateEvents.h"

namespace vorn::cli {
namespace {

const char kRedCode[] = "\033[31m";
const char kBlueCode[] = "\033[34m";
const char kResetCode[] = "\033[0m";

}  // namespace

std::string JsonLine(const std::string& type, const std::string& text, const std::string& key,
                     long long value) {
    QJsonObject o;
    o.insert("type", QString::fromStdString(type));
    o.insert("text", QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    if (!key.empty()) {
        o.insert(QString::fromStdString(key), static_cast<qint64>(value));
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

QJsonValue JsonText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ResultLine(const std::string& command, int code,
                       const std::vector<std::string>& failures, const QJsonObject& fields) {
    QJsonObject o = fields;
    o.insert("type", "result");
    o.insert("text", "");
    o.insert("command", QString::fromStdString(command));
    o.insert("ok", code == 0);
    o.insert("exit_code", code);
    QJsonArray failure;
    if (code != 0) {
        for (const std::string& f : failures) failure.append(JsonText(f));
        // A failure always says something, even when no step printed an error.
        if (failure.isEmpty())
            failure.append(QString::fromStdString("vornupdater " + command +
                                                  " failed (exit status " +
                                                  std::to_string(code) + ")"));
    }
    o.insert("failure", failure);
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

CliOperator::CliOperator(std::ostream& out, CliOutputMode mode, CliTerminal& terminal)
    : m_out(out), m_mode(mode), m_terminal(terminal) {}

void CliOperator::Json(const char* type, const std::string& text, const char* key,
                       long long value) {
    m_out << JsonLine(type, text, key ? key : "", value);
    m_out.flush();
}

// Text carries gateway and package output: its control characters are shown escaped.
void CliOperator::Write(const std::string& raw, std::uint32_t colour) {
    const std::string text = EscapeControls(raw);
    const char* code = nullptr;
    if (m_mode.terminal) {
        code = colour == kRed ? kRedCode : colour == kBlue ? kBlueCode : nullptr;
    }
    if (code) {
        m_out << code << text << kResetCode;
    } else {
        m_out << text;
    }
    m_out.flush();
    const std::size_t nl = text.rfind('\n');
    if (nl == std::string::npos) {
        m_line += text;
    } else {
        m_line = text.substr(nl + 1);
        m_anchor = 0;
    }
}

void CliOperator::AddFailure(const std::string& raw) {
    std::string text = raw;
    while (!text.empty() && std::string_view(" \r\n").find(text.back()) != std::string::npos)
        text.pop_back();
    const std::size_t b = text.find_first_not_of(" \r\n");
    text = b == std::string::npos ? std::string() : text.substr(b);
    if (!text.empty() && std::find(m_failures.begin(), m_failures.end(), text) == m_failures.end())
        m_failures.push_back(std::move(text));
}

void CliOperator::Event(const char* type, QJsonObject fields) {
    if (!m_mode.json) {
        return;
    }
    fields.insert("type", type);
    if (!fields.contains("text"))
        fields.insert("text", "");  // every event has "type" and "text"
    m_out << QJsonDocument(fields).toJson(QJsonDocument::Compact).toStdString() << "\n";
    m_out.flush();
}

void CliOperator::AppendConsole(const std::string& text, std::uint32_t colour) {
    if (colour == kRed) {
        AddFailure(text);
    }
    if (m_mode.json) {
        Json("console", text, "colour", colour);
        return;
    }
    if (m_progressShown && !m_mode.terminal && !m_line.empty()) {
        m_out << "\n";
        m_line.clear();
    }
    m_progressShown = false;
    Write(text, colour);
}

void CliOperator::SetProgressAnchor() {
    m_anchor = m_line.size();
    m_progressShown = false;
    // A transfer may begin here, from its first byte.
    if (m_transfer) {
        m_rate.Start(0);
    } else {
        m_rate.Stop();
    }
}

void CliOperator::ReplaceProgress(const std::string& shown, std::uint32_t colour) {
    std::string text = shown;
    std::uint64_t sent = 0, size = 0;
    if (m_transfer && m_rate.Started()) {
        if (const auto t = m_transfer()) {
            sent = t->first;
            size = t->second;
        }
    }
    const bool measured = size > 0;
    if (m_mode.json) {
        QJsonObject fields{{"text", JsonText(text)}, {"colour", static_cast<qint64>(colour)}};
        if (measured) {
            fields.insert("sent", static_cast<qint64>(sent));
            fields.insert("size", static_cast<qint64>(size));
            fields.insert("bytes_per_second", m_rate.BytesPerSecond(sent));
            fields.insert("seconds_left", m_rate.SecondsLeft(sent, size));
        }
        fields.insert("type", "progress");
        m_out << QJsonDocument(fields).toJson(QJsonDocument::Compact).toStdString() << "\n";
        m_out.flush();
        return;
    }
    if (measured && !text.empty() && text.back() != '\n') {
        text += " (" + TransferProgressText(sent, size, m_rate) + ")";
    }
    if (m_mode.terminal) {
        // Back to the start of the line, the text before the anchor again, then the new text.
        const std::string head = m_line.substr(0, std::min(m_anchor, m_line.size()));
        m_out << "\r" << head << "\033[K";
        m_line = head;
        const std::size_t anchor = m_anchor;
        Write(text, colour);
        if (text.find('\n') == std::string::npos) {
            m_anchor = anchor;
        }
    } else {
        // A plain line per progress step.
        if (!m_line.empty()) {
            m_out << "\n";
            m_line.clear();
        }
        m_out << EscapeControls(text);
        if (text.empty() || text.back() != '\n') {
            m_out << "\n";
        }
        m_out.flush();
        m_anchor = 0;
    }
    m_progressShown = true;
}

void CliOperator::SetWindowTitle(const std::string& title) {
    if (m_mode.json) {
        Json("title", title, nullptr, 0);
    }
}

bool CliOperator::Ask(const std::string& text) {
    const auto fixed = m_answers.find(text);
    bool answer = fixed != m_answers.end() ? fixed->second : m_yes;
    if (fixed == m_answers.end() && !m_yes && m_terminal.Available()) {
        Finish();
        const std::optional<std::string> line =
            m_terminal.ReadLine(EscapeControls(text) + " [y/N] ", false);
        answer = line && (*line == "y" || *line == "Y" || *line == "yes" || *line == "Yes");
    }
    if (m_mode.json) {
        Json("question", text, "answer", answer ? 1 : 0);
    } else if (!m_terminal.Available() || m_yes || fixed != m_answers.end()) {
        Write(text + (text.empty() || text.back() != '\n' ? "\n" : ""), kBlack);
        Write(answer ? "-> yes\n" : "-> no\n", kBlack);
    }
    return answer;
}

bool CliOperator::OnAskYesNo(const std::string& text) {
    return Ask(text);
}
bool CliOperator::OnAskOkCancel(const std::string& text) {
    return Ask(text);
}

void CliOperator::ShowMessage(const std::string& text) {
    if (m_mode.json) {
        Json("message", text, nullptr, 0);
        return;
    }
    Finish();
    Write(text + (text.empty() || text.back() != '\n' ? "\n" : ""), kBlack);
}

std::optional<std::string> CliOperator::OnAskText(const std::string& prompt, bool secret) {
    if (secret && m_secret) {
        return m_secret;
    }
    Finish();
    return m_terminal.ReadLine(EscapeControls(prompt) + " ", secret);
}

std::optional<std::string> CliOperator::OnChooseOpenFile(const std::string&, const std::string&) {
    return m_openFile;
}

std::optional<std::string> CliOperator::OnChooseSaveFile(const std::string&, const std::string&) {
    return m_saveFile;
}

bool CliOperator::OnChooseDevice(int& model, int& series) {
    if (!m_device) {
        return false;
    }
    model = m_device->first;
    series = m_device->second;
    return true;
}

void CliOperator::NotifyWizard(int code, const std::string& text) {
    if (m_mode.json) {
        Json("wizard", text, "code", code);
    }
}

int CliOperator::NotifyUpdatePage(int code, const std::string& text) {
    if (code == kUpdateError) {
        AddFailure(text);
    }
    if (m_mode.json) {
        Json("update", text, "code", code);
    }
    if (m_events) {
        return m_events->NotifyUpdatePage(code, text);
    }
    if (code == 2) {
        return Ask(text) ? 1 : 2;  // OK / Cancel
    }
    return -1;
}

int CliOperator::NotifyCheckPage(int code, const std::string& text) {
    if (m_mode.json) {
        Json("check", text, "code", code);
    }
    return m_events ? m_events->NotifyCheckPage(code, text) : -1;
}

void CliOperator::Note(const std::string& text, bool error) {
    if (error) {
        AddFailure(text);
    }
    if (m_mode.json) {
        Json(error ? "error" : "note", text, nullptr, 0);
        return;
    }
    Finish();
    Write(text + (text.empty() || text.back() != '\n' ? "\n" : ""), error ? kRed : kBlack);
}

void CliOperator::Exit(int code) {
    if (m_mode.json) {
        if (!m_resultShown && !m_command.empty()) {
            m_out << ResultLine(m_command, code, m_failures, m_result);
            m_resultShown = true;
        }
        Json("exit", "", "code", code);
    } else {
        Finish();
    }
}

void CliOperator::Finish() {
    if (!m_mode.json && !m_line.empty()) {
        m_out << "\n";
        m_out.flush();
        m_line.clear();
        m_anchor = 0;
    }
}

}  // namespace vorn::cli
