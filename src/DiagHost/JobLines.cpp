// JobLines.cpp - run messages as text lines and back, for the pipe from a job to its parent.
#include "JobLines.h"

#include <cerrno>
#include <sstream>
#include <unistd.h>

namespace diaghost {

using QuarnDiags::Diag::NotRunReason;

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t count = write(fd, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

std::string encodeMessage(const RunMessage& message)
{
    std::ostringstream line;
    switch (message.kind) {
    case RunMessage::Started: line << "started " << message.testIndex; break;
    case RunMessage::Event:
        line << "event " << message.testIndex << " " << message.event.code << " " << message.event.type << " "
             << message.event.timeMs;
        break;
    case RunMessage::Progress: line << "progress " << message.testIndex << " " << message.percent; break;
    case RunMessage::Finished:
        line << "finished " << message.testIndex << " " << message.test.verdict << " " << message.test.code << " "
             << message.test.type << " " << message.test.progress << " "
             << static_cast<long long>(message.test.seconds * 1000.0 + 0.5);
        break;
    case RunMessage::Ended:
        line << "ended " << message.summary.aborted << " " << message.summary.halted << " "
             << message.summary.notRun.size();
        for (const auto& notRun : message.summary.notRun) {
            line << " " << notRun.first << " " << notRun.second;
        }
        break;
    }
    return line.str();
}

bool decodeMessage(const std::string& line, RunMessage& message)
{
    std::istringstream in(line);
    std::string kind;
    in >> kind;
    int verdict = 0;
    int type = 0;
    if (kind == "started") {
        message.kind = RunMessage::Started;
        in >> message.testIndex;
    } else if (kind == "event") {
        message.kind = RunMessage::Event;
        in >> message.testIndex >> message.event.code >> type >> message.event.timeMs;
        message.event.type = static_cast<QuarnDiags::Diag::EventType>(type);
    } else if (kind == "progress") {
        message.kind = RunMessage::Progress;
        in >> message.testIndex >> message.percent;
    } else if (kind == "finished") {
        message.kind = RunMessage::Finished;
        long long ms = 0;
        in >> message.testIndex >> verdict >> message.test.code >> type >> message.test.progress >> ms;
        message.test.index = message.testIndex;
        message.test.verdict = static_cast<QuarnDiags::Diag::TestResult>(verdict);
        message.test.type = static_cast<QuarnDiags::Diag::EventType>(type);
        message.test.seconds = static_cast<double>(ms) / 1000.0;
    } else if (kind == "ended") {
        message.kind = RunMessage::Ended;
        std::size_t count = 0;
        in >> message.summary.aborted >> message.summary.halted >> count;
        for (std::size_t i = 0; i < count && in; ++i) {
            int testIndex = 0;
            int reason = 0;
            in >> testIndex >> reason;
            message.summary.notRun.emplace_back(testIndex, static_cast<NotRunReason>(reason));
        }
    } else {
        return false;
    }
    return static_cast<bool>(in) || in.eof();
}

}  // namespace diaghost
