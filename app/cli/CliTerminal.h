#pragma once
// Questions to the person at the terminal (/dev/tty), never through stdin/stdout, so the
// program's output can be piped. Without a terminal every question goes unanswered.
#include <optional>
#include <string>

namespace vorn::cli {

class CliTerminal {
public:
    virtual ~CliTerminal() = default;
    virtual bool Available() const = 0;
    // A line typed after the prompt (without echo when secret); nullopt without a terminal
    // or at end of input.
    virtual std::optional<std::string> ReadLine(const std::string& prompt, bool secret) = 0;
};

// The controlling terminal; unavailable when there is none or VORN_NO_TTY is set.
class CTtyTerminal : public CliTerminal {
public:
    CTtyTerminal();
    ~CTtyTerminal() override;
    bool Available() const override { return m_fd >= 0; }
    std::optional<std::string> ReadLine(const std::string& prompt, bool secret) override;

private:
    int m_fd = -1;
};

// No terminal at all (tests, scripts).
class CNoTerminal : public CliTerminal {
public:
    bool Available() const override { return false; }
    std::optional<std::string> ReadLine(const std::string&, bool) override { return std::nullopt; }
};

}  // namespace vorn::cli
