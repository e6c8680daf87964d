#pragma once
// The Operator of the command line: console text on the output stream (colours and progress
// rewritten in place only on a terminal, JSON lines with --json), questions answered by the
// command's flags or asked on the terminal.
#include <QJsonObject>

#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/CliTerminal.h"
#include "lib/Operator.h"
#include "lib/TransferRate.h"

namespace vorn {
class CUpdateEvents;
}

namespace vorn::cli {

struct CliOutputMode {
    bool json = false;      // one JSON object per line instead of text
    bool terminal = false;  // the output stream is a terminal: colours, progress in place
};

class CliOperator : public Operator {
public:
    CliOperator(std::ostream& out, CliOutputMode mode, CliTerminal& terminal);

    // Answers fixed by the command line.
    void SetAssumeYes(bool yes) { m_yes = yes; }
    void SetDevice(std::optional<std::pair<int, int>> device) { m_device = device; }
    void SetOpenFile(std::optional<std::string> f) { m_openFile = std::move(f); }
    void SetSaveFile(std::optional<std::string> f) { m_saveFile = std::move(f); }
    // The wizard's event handling that update and check events go to (none: ignored).
    void SetUpdateEvents(CUpdateEvents* events) { m_events = events; }
    // The answer to the next secret question (the console password from a file).
    void SetSecretAnswer(std::optional<std::string> s) { m_secret = std::move(s); }
    // While an upload runs: its bytes sent and its size. With a source, each progress line
    // also says how much is sent, at which rate, and how long the rest takes; the JSON
    // progress events carry them as fields.
    using TransferSource = std::function<std::optional<std::pair<std::uint64_t, std::uint64_t>>()>;
    void SetTransferSource(TransferSource source) { m_transfer = std::move(source); }
    // A fixed answer to one question (its exact text), ahead of --yes and the terminal.
    void SetAnswer(const std::string& question, bool answer) { m_answers[question] = answer; }

    // A line of the program itself (errors of the command line front end), red when `error`.
    void Note(const std::string& text, bool error);
    // One documented event (docs/cli-json.md) in JSON mode: `fields` plus "type"; nothing
    // without --json.
    void Event(const char* type, QJsonObject fields);
    // The command word and the fields of the final "result" event, filled as the command
    // learns them.
    void SetCommand(std::string command) { m_command = std::move(command); }
    void SetResult(const char* field, const QJsonValue& value) { m_result.insert(field, value); }
    const QJsonObject& Result() const { return m_result; }
    // The error texts of the run so far, in order, each once (red console lines, update page
    // errors, the program's own errors).
    const std::vector<std::string>& Failures() const { return m_failures; }
    // The final events of a run in JSON mode: "result" (once), then {"type":"exit","code":N}.
    void Exit(int code);
    // Ends an unfinished line (before the program exits).
    void Finish();

    void AppendConsole(const std::string& text, std::uint32_t colour) override;
    void SetProgressAnchor() override;
    void ReplaceProgress(const std::string& text, std::uint32_t colour) override;
    void SetWindowTitle(const std::string& title) override;
    bool OnAskYesNo(const std::string& text) override;
    bool OnAskOkCancel(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    std::optional<std::string> OnAskText(const std::string& prompt, bool secret) override;
    std::optional<std::string> OnChooseOpenFile(const std::string& proposed,
                                                const std::string& filter) override;
    std::optional<std::string> OnChooseSaveFile(const std::string& proposed,
                                                const std::string& filter) override;
    bool OnChooseDevice(int& model, int& series) override;
    void NotifyWizard(int code, const std::string& text) override;
    int NotifyUpdatePage(int code, const std::string& text) override;
    int NotifyCheckPage(int code, const std::string& text) override;

private:
    void Json(const char* type, const std::string& text, const char* key, long long value);
    void Write(const std::string& text, std::uint32_t colour);
    bool Ask(const std::string& text);
    void AddFailure(const std::string& text);

    std::ostream& m_out;
    CliOutputMode m_mode;
    CliTerminal& m_terminal;
    bool m_yes = false;
    CUpdateEvents* m_events = nullptr;
    std::optional<std::pair<int, int>> m_device;
    std::optional<std::string> m_openFile, m_saveFile, m_secret;
    std::map<std::string, bool> m_answers;
    std::string m_line;        // text of the current (unfinished) output line
    std::size_t m_anchor = 0;  // progress anchor inside m_line
    bool m_progressShown = false;
    TransferSource m_transfer;
    CTransferRate m_rate;
    std::string m_command;
    QJsonObject m_result;
    std::vector<std::string> m_failures;
    bool m_resultShown = false;
};

// One JSON object as a line: {"type":..., "text":..., key: value}.
std::string JsonLine(const std::string& type, const std::string& text, const std::string& key,
                     long long value);
// The "result" event as a line: "command", "ok", "exit_code", "failure" (the error texts when
// the command failed, else empty) and the command's own `fields`.
std::string ResultLine(const std::string& command, int code,
                       const std::vector<std::string>& failures, const QJsonObject& fields);
// A text of the program as a JSON string (bytes that are not UTF-8 kept as U+FFFD, as in every
// other event).
QJsonValue JsonText(const std::string& text);

}  // namespace vorn::cli
