// The pure pieces of a data transfer: PASV and PORT texts, the statistics line, the line
// display's splitting.
#include "ftp/FtpTransfer.h"

#include <arpa/inet.h>

#include <cctype>

namespace tarnwick::ftp {

namespace {

constexpr int kPasvNumbers = 6;
constexpr int kByteMax = 255;
constexpr int kByteBits = 8;
constexpr uint64_t kMsPerSecond = 1000;
constexpr const char* kLoopback = "127.0.0.1";
// An EPSV delimiter is a printable character (RFC 2428: 33 to 126).
constexpr char kFirstDelimiter = '!';
constexpr char kLastDelimiter = '~';
constexpr size_t kEpsvDelimiters = 4;  // three before the port, one after it
constexpr uint32_t kPortMax = 65535;

}  // namespace

namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Reads numbers of 0 to 255 separated by commas, with blanks around them, from
// text[pos, end). Returns how many were read before the first thing that is not part of
// such a list (-1 when a number is over 255), and leaves pos there.
int ReadNumberList(const std::string& text, size_t& pos, size_t end, int* numbers) {
    int count = 0;
    for (;;) {
        while (pos < end && text[pos] == ' ') ++pos;
        if (pos >= end || !IsDigit(text[pos])) return count;
        int value = 0;
        while (pos < end && IsDigit(text[pos])) {
            value = value * 10 + (text[pos] - '0');
            if (value > kByteMax) return -1;
            ++pos;
        }
        if (count < kPasvNumbers) numbers[count] = value;
        ++count;
        size_t next = pos;
        while (next < end && text[next] == ' ') ++next;
        if (next >= end || text[next] != ',') {
            pos = next;
            return count;
        }
        pos = next + 1;
    }
}

}  // namespace

bool ParsePasvPort(const std::string& reply, uint16_t& port) {
    int numbers[kPasvNumbers] = {};
    const size_t open = reply.find('(');
    if (open != std::string::npos) {
        const size_t close = reply.find(')', open);
        if (close == std::string::npos) return false;
        size_t pos = open + 1;
        if (ReadNumberList(reply, pos, close, numbers) != kPasvNumbers || pos != close)
            return false;
    } else {
        // Without parentheses ("227 Entering Passive Mode 127,0,0,1,4,5"): the first run of
        // exactly six comma-separated numbers in the text.
        bool found = false;
        for (size_t pos = 0; pos < reply.size() && !found;) {
            if (!IsDigit(reply[pos])) {
                ++pos;
                continue;
            }
            const size_t start = pos;
            found = ReadNumberList(reply, pos, reply.size(), numbers) == kPasvNumbers &&
                    (pos >= reply.size() || !IsDigit(reply[pos]));
            if (pos == start) ++pos;
            // A number over 255 stops inside it: the rest of its digits start no run.
            while (pos < reply.size() && IsDigit(reply[pos])) ++pos;
        }
        if (!found) return false;
    }
    port = static_cast<uint16_t>((numbers[4] << kByteBits) | numbers[5]);
    return true;
}

std::string ParseEpsvPort(const std::string& reply, uint16_t& port) {
    const size_t open = reply.find('(');
    const size_t close = open == std::string::npos ? open : reply.find(')', open);
    if (close == std::string::npos) return "no (|||port|) in the reply";
    const std::string inner = reply.substr(open + 1, close - open - 1);
    const char d = inner.empty() ? '\0' : inner[0];
    if (d < kFirstDelimiter || d > kLastDelimiter || IsDigit(d))
        return "no usable delimiter in the reply";
    if (inner.size() < kEpsvDelimiters || inner[1] != d || inner[2] != d || inner.back() != d)
        return "the reply's fields are not |||port|";
    const std::string digits = inner.substr(kEpsvDelimiters - 1, inner.size() - kEpsvDelimiters);
    if (digits.empty()) return "the reply names no port";
    uint32_t value = 0;
    for (char c : digits) {
        if (!IsDigit(c)) return "the reply's port is not a number";
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > kPortMax) return "the reply's port is over 65535";
    }
    if (value == 0) return "the reply names port 0";
    port = static_cast<uint16_t>(value);
    return {};
}

std::string EprtCommandText(bool ipv6, const std::string& localAddr, uint16_t port) {
    return std::string("EPRT |") + (ipv6 ? "2" : "1") + "|" + localAddr + "|" +
           std::to_string(port) + "|";
}

std::string PortCommandText(const std::string& controlAddr, const in_addr& localAddr,
                            uint16_t port) {
    std::string text = "PORT ";
    if (controlAddr == kLoopback) {
        text += "127,0,0,1";
    } else {
        const uint32_t a = ntohl(localAddr.s_addr);
        text += std::to_string((a >> 24) & 0xFF) + "," + std::to_string((a >> 16) & 0xFF) + "," +
                std::to_string((a >> 8) & 0xFF) + "," + std::to_string(a & 0xFF);
    }
    text += "," + std::to_string(port >> kByteBits) + "," + std::to_string(port & 0xFF);
    return text;
}

std::string TransferStatsText(int64_t byteCount, uint64_t milliseconds) {
    std::string text = std::to_string(byteCount) + " bytes received/sent in " +
                       std::to_string(milliseconds / kMsPerSecond) + " seconds";
    if (milliseconds != 0 && byteCount >= 0) {
        // 128 bits: the product cannot overflow, and the rate is exact for any duration.
        const auto rate = static_cast<unsigned __int128>(static_cast<uint64_t>(byteCount)) *
                          kMsPerSecond / milliseconds;
        text += " (" + std::to_string(static_cast<uint64_t>(rate)) + " Bytes/sec)";
    }
    return text;
}

bool MovesData(TFtpRequest request) {
    switch (request) {
        case TFtpRequest::DirAsync:
        case TFtpRequest::LsAsync:
        case TFtpRequest::MlsdAsync:
        case TFtpRequest::GetAsync:
        case TFtpRequest::PutAsync:
        case TFtpRequest::AppendAsync:
        case TFtpRequest::RestGetAsync:
        case TFtpRequest::RestPutAsync:
        case TFtpRequest::ReceiveAsync:
        case TFtpRequest::RestartGetAsync:
        case TFtpRequest::TransmitAsync:
        case TFtpRequest::RestartPutAsync:
        case TFtpRequest::DirectoryAsync:
        case TFtpRequest::ListAsync:
            return true;
        default:
            return false;
    }
}

void LineSplitter::Feed(const char* data, size_t size, const Sink& sink) {
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != '\r' && data[i] != '\n') continue;
        carry_.append(data + start, i - start);
        start = i + 1;
        if (carry_.empty()) continue;  // the LF of CR LF, or an empty line
        std::string line;
        line.swap(carry_);
        sink(line);
    }
    carry_.append(data + start, size - start);
}

void LineSplitter::Flush(const Sink& sink) {
    if (carry_.empty()) return;
    std::string line;
    line.swap(carry_);
    sink(line);
}

}  // namespace tarnwick::ftp
