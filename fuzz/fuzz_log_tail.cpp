// fuzz_log_tail.cpp - diaghost's follower of the plug-in's log over arbitrary writes, truncations and rotations.
//
// The input is a list of steps on the log file: append bytes (any bytes,
// partial lines and invalid UTF-8 among them, sometimes many times over so
// that reads cross their buffer and the 64 KiB a call), truncate it, rotate
// it (rename it away and start a new one), or ask the follower for its new
// lines, with or without the last unfinished one. Every answer is compared
// with a model of what a follower owes: the bytes the file gained since the
// last call, read again from the start after a truncation below what was
// read, the old file's rest and then the new file after a rotation, at most
// 64 KiB a call, cut into lines at line feeds with one carriage return
// before each dropped.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "HostFuzz.h"
#include "LogTail.h"

using fuzz::Expect;

namespace {

const std::size_t kPerCall = 64 * 1024;

class Model {
public:
    // The file the follower reads: the current one, or the one it was
    // reading when the log was rotated (the ones rotated after it are never
    // seen).
    std::string current;
    std::string old;
    bool onOld = false;

    void Rotate()
    {
        if (!onOld) {
            old = current;
            onOld = true;
        }
        current.clear();
    }

    std::vector<std::string> NewLines(bool flush)
    {
        std::size_t room = kPerCall;
        for (;;) {
            const std::string& file = onOld ? old : current;
            if (file.size() < m_offset) {
                m_offset = 0;
                m_partial.clear();
            }
            const std::size_t taken = std::min(room, file.size() - m_offset);
            m_partial += file.substr(m_offset, taken);
            m_offset += taken;
            room -= taken;
            if (room == 0 || !onOld) {
                break;
            }
            m_partial += m_partial.empty() ? "" : "\n";
            onOld = false;
            m_offset = 0;
        }
        std::vector<std::string> lines;
        std::size_t end;
        while ((end = m_partial.find('\n')) != std::string::npos) {
            std::string line = m_partial.substr(0, end);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines.push_back(line);
            m_partial.erase(0, end + 1);
        }
        if (flush && !m_partial.empty()) {
            lines.push_back(m_partial);
            m_partial.clear();
        }
        return lines;
    }

    void Start() { m_offset = current.size(); }

private:
    std::size_t m_offset = 0;
    std::string m_partial;
};

void Append(const std::string& path, const std::string& bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    Expect(fd >= 0 && write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
    close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string path = fuzz::Folder() + "/modemdiag.log";
    const std::string rotated = path + ".1";
    unlink(path.c_str());
    unlink(rotated.c_str());

    Model model;
    model.current = input.ConsumeRandomLengthString(64);
    Append(path, model.current);
    diaghost::LogTail tail(path);
    model.Start();
    int steps = 0;
    while (input.remaining_bytes() > 0 && ++steps <= 64) {
        switch (input.ConsumeIntegralInRange(0, 4)) {
        case 0: {
            const std::string bytes = input.ConsumeRandomLengthString(64);
            std::string all;
            for (int times = input.ConsumeBool() ? input.ConsumeIntegralInRange(1, 400) : 1; times > 0; --times) {
                all += bytes;
            }
            Append(path, all);
            model.current += all;
            break;
        }
        case 1:
        case 2: {
            const bool flush = input.ConsumeBool();
            Expect(tail.newLines(flush) == model.NewLines(flush));
            break;
        }
        case 3: {
            const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, model.current.size());
            Expect(truncate(path.c_str(), static_cast<off_t>(length)) == 0);
            model.current.resize(length);
            break;
        }
        case 4:
            Expect(rename(path.c_str(), rotated.c_str()) == 0);
            Append(path, "");
            model.Rotate();
            break;
        }
    }
    Expect(tail.newLines(true) == model.NewLines(true));
    return 0;
}
