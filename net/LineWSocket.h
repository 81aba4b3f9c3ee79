// TCustomLineWSocket: the optional line mode of the socket. With LineMode on, received
// bytes are collected in a growing receive buffer and offered to OnDataAvailable one line
// at a time (everything up to and including LineEnd); RcvdCount, ReceiveText and Receive
// then see only the pending line. Received text can be echoed back to the peer and edited
// like a terminal line (backspace, tab). With LineMode off everything passes straight
// through to the TLS and SOCKS layers, except bytes still held from line mode, which come first.
#pragma once

#include <string>
#include <vector>

#include "net/TlsWSocket.h"

namespace tarnwick::net {

// What the peer sees for an erased character when received text is echoed.
inline constexpr char kLineBackspaceEcho[] = "\b \b";
inline constexpr int kLineTabWidth = 8;
inline constexpr char kLineDefaultEnd[] = "\r\n";

class TCustomLineWSocket : public TCustomTlsWSocket {
  public:
    TCustomLineWSocket() = default;

    bool LineMode() const { return lineMode_; }
    virtual void SetLineMode(bool value);
    const std::string& LineEnd() const { return lineEnd_; }
    void SetLineEnd(const std::string& value);
    bool LineEcho() const { return lineEcho_; }
    void SetLineEcho(bool value) { lineEcho_ = value; }
    bool LineEdit() const { return lineEdit_; }
    void SetLineEdit(bool value) { lineEdit_ = value; }
    // Bytes received but not yet taken by the data handler.
    int HeldCount() const { return static_cast<int>(end_ - head_); }

  protected:
    void HandleMessage(const platform::Message& msg) override;
    void ResetDefaults() override;
    bool NotifyDataAvailable(uint16_t error) override;
    void NotifySessionClosed(uint16_t error) override;
    int GetRcvdCount() override;
    int RawReceive(void* buffer, int size, int flags) override;
    // Applies backspace and tab editing to the len bytes just received behind the held
    // ones; may change len and the held count (a backspace can erase held bytes). With
    // LineEcho, what the peer is to see is collected and sent once the bytes are held.
    virtual void EditReceived(int& len);

  private:
    // Line mode works only with a marker and once a SOCKS handshake is over.
    bool LineModeActive() const {
        return lineMode_ && !lineEnd_.empty() && SocksState() == SocksReady;
    }
    // Moves the held bytes to the front of the buffer.
    void Compact();
    void Reserve(size_t size);
    // Offers the complete lines held, one at a time, while the handler takes them.
    void DeliverLines();
    // Offers the pending line until it is taken; false when the handler took nothing.
    bool OfferPendingLine();
    // Offers the held bytes, line mode off, until they are taken or nobody takes them.
    void OfferHeldBytes();
    void Redeliver();
    void FreeBuffer();

    std::vector<char> buffer_;  // held bytes are [head_, end_)
    size_t head_ = 0;
    size_t end_ = 0;
    size_t searchFrom_ = 0;  // offset from head_ where no marker has been looked for yet
    size_t lineLength_ = 0;  // bytes of the pending line not yet taken
    std::string lineEnd_ = kLineDefaultEnd;
    bool lineMode_ = false;
    bool lineEcho_ = false;
    bool lineEdit_ = false;
    bool filling_ = false;  // the line layer itself reads from below
    bool redeliverPosted_ = false;
    std::string editEcho_;  // the echo of the bytes being edited, not yet sent
};

}  // namespace tarnwick::net
