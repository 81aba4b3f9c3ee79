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

}  // namespace

bool ParsePasvPort(const std::string& reply, uint16_t& port) {
    const size_t open = reply.find('(');
    if (open == std::string::npos) return false;
    const size_t close = reply.find(')', open);
    if (close == std::string::npos) return false;
    int numbers[kPasvNumbers] = {};
    int count = 0;
    size_t pos = open + 1;
    for (;;) {
        while (pos < close && reply[pos] == ' ') ++pos;
        if (pos >= close || !std::isdigit(static_cast<unsigned char>(reply[pos]))) return false;
        int value = 0;
        while (pos < close && std::isdigit(static_cast<unsigned char>(reply[pos]))) {
            value = value * 10 + (reply[pos] - '0');
            if (value > kByteMax) return false;
            ++pos;
        }
        while (pos < close && reply[pos] == ' ') ++pos;
        if (count == kPasvNumbers) return false;
        numbers[count++] = value;
        if (pos == close) break;
        if (reply[pos] != ',') return false;
        ++pos;
    }
    if (count != kPasvNumbers) return false;
    port = static_cast<uint16_t>((numbers[4] << kByteBits) | numbers[5]);
    return true;
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
