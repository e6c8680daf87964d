#pragma once
// Real message boxes in the widget tests: the wizard shows them (not the recording mode),
// and these helpers answer them from the event loop, keep what they showed, and check that
// a text with markup loaded nothing.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace vorn::test {

// What a message box showed and which button was its default.
struct SeenBox {
    std::string title;
    std::string text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
    QWidget* parent = nullptr;  // the window it opened over
};

// Answers every message box with a key (Enter unless told otherwise) as soon as it is the
// active modal window, and keeps what each one showed.
class CBoxAnswerer : public QObject {
public:
    explicit CBoxAnswerer(int key = Qt::Key_Return) : m_key(key) {
        connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
        m_timer.start(10);
    }
    void SetKey(int key) { m_key = key; }
    // Clicks this button instead of pressing the key (NoButton: the key again).
    void SetButton(QMessageBox::StandardButton button) { m_button = button; }
    const std::vector<SeenBox>& Seen() const { return m_seen; }
    void Clear() { m_seen.clear(); }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const SeenBox& b : m_seen) out.push_back(b.text);
        return out;
    }

private:
    void Tick() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == m_last) {
            return;
        }
        m_last = box;
        SeenBox s;
        s.title = box->windowTitle().toStdString();
        s.text = box->text().toStdString();
        s.format = box->textFormat();
        s.defaultButton = box->standardButton(box->defaultButton());
        s.escapeButton = box->standardButton(box->escapeButton());
        s.parent = box->parentWidget();
        m_seen.push_back(s);
        if (QAbstractButton* b = box->button(m_button)) {
            b->click();
        } else {
            QTest::keyClick(box, static_cast<Qt::Key>(m_key));
        }
    }

    QTimer m_timer;
    int m_key;
    QMessageBox::StandardButton m_button = QMessageBox::NoButton;
    QPointer<QMessageBox> m_last;
    std::vector<SeenBox> m_seen;
};

// A named pipe that tells whether anything opened it for reading: text that is taken for
// markup loads the image an <img> names, and opening a pipe for reading is seen here.
class CFifoWatch {
public:
    explicit CFifoWatch(std::filesystem::path path) : m_path(std::move(path)) {
        m_ok = ::mkfifo(m_path.c_str(), 0600) == 0;
        if (m_ok) {
            // Every reader finds a writer and reads an empty file at once (an image loader
            // may open it more than once); none of them is left waiting.
            m_thread = std::thread([this] {
                while (true) {
                    const int fd = ::open(m_path.c_str(), O_WRONLY);  // waits for a reader
                    if (m_done) {
                        if (fd >= 0) {
                            ::close(fd);
                        }
                        return;
                    }
                    m_opened = true;
                    if (fd >= 0) {
                        ::close(fd);
                    }
                }
            });
        }
    }
    ~CFifoWatch() {
        m_done = true;
        if (m_thread.joinable()) {
            const int fd = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK);  // lets the writer go
            m_thread.join();
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    CFifoWatch(const CFifoWatch&) = delete;
    CFifoWatch& operator=(const CFifoWatch&) = delete;

    bool Ready() const { return m_ok; }
    bool Opened() const { return m_opened; }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    bool m_ok = false;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_opened{false};
    std::thread m_thread;
};

// While it lives, the process may grow by at most `extra` bytes of address space: text that
// is taken for markup and loads an endless file (/dev/zero) fails at once instead of filling
// the machine's memory.
class CAddressSpaceLimit {
public:
    explicit CAddressSpaceLimit(unsigned long long extra) {
        m_ok = ::getrlimit(RLIMIT_AS, &m_before) == 0;
        std::ifstream status("/proc/self/status");
        std::string key;
        unsigned long long kb = 0;
        while (m_ok && status >> key) {
            if (key == "VmSize:") {
                status >> kb;
                break;
            }
        }
        if (m_ok && kb > 0) {
            rlimit limit = m_before;
            limit.rlim_cur = static_cast<rlim_t>(kb * 1024 + extra);
            if (m_before.rlim_max != RLIM_INFINITY && limit.rlim_cur > m_before.rlim_max) {
                limit.rlim_cur = m_before.rlim_max;
            }
            ::setrlimit(RLIMIT_AS, &limit);
        }
    }
    ~CAddressSpaceLimit() {
        if (m_ok) {
            ::setrlimit(RLIMIT_AS, &m_before);
        }
    }
    CAddressSpaceLimit(const CAddressSpaceLimit&) = delete;
    CAddressSpaceLimit& operator=(const CAddressSpaceLimit&) = delete;

private:
    bool m_ok = false;
    rlimit m_before{};
};

}  // namespace vorn::test
