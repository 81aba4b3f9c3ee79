// TCustomFtpCli: the connection types (direct, FTP proxy, SOCKS 4, 4A, 5), passive mode as
// they force it, and the SOCKS settings of the control and data sockets.
#include "ftp/FtpClient.h"

namespace tarnwick::ftp {

namespace {

const char* SocksLevelOf(TFtpConnectionType type) {
    switch (type) {
        case ftpSocks4:
            return "4";
        case ftpSocks4A:
            return "4A";
        default:
            return "5";
    }
}

bool IsSocks(TFtpConnectionType type) {
    return type == ftpSocks4 || type == ftpSocks4A || type == ftpSocks5;
}

}  // namespace

TFtpConnectionType TCustomFtpCli::ConnectionType() const {
    return connectionType_ <= ftpSocks5 ? connectionType_ : ftpDirect;
}

void TCustomFtpCli::SetConnectionType(TFtpConnectionType v) {
    if (controlUp_) RaiseError("FTP component connected");
    connectionType_ = v;
    if (v != ftpDirect) data_->SetPassive(true);
    // Direct keeps the level it had; the SOCKS types set theirs.
    if (IsSocks(v)) socks_.level = SocksLevelOf(v);
    socks_.authenticate = IsSocks(v);
    WriteSocksSettings();
}

void TCustomFtpCli::SetPassive(bool v) {
    data_->SetPassive(ConnectionType() == ftpDirect ? v : true);
}

void TCustomFtpCli::SetSocksServer(const std::string& v) {
    socks_.server = v;
    WriteSocksSettings();
}

void TCustomFtpCli::SetSocksPort(const std::string& v) {
    socks_.port = v;
    WriteSocksSettings();
}

void TCustomFtpCli::SetSocksUserCode(const std::string& v) {
    socks_.userCode = v;
    WriteSocksSettings();
}

void TCustomFtpCli::SetSocksPassword(const std::string& v) {
    socks_.password = v;
    WriteSocksSettings();
}

// Both sockets get the settings at once when they are closed; an open one gets them before
// its next connection.
void TCustomFtpCli::WriteSocksSettings() {
    for (net::TWSocket* s : {controlSocket_.get(), &data_->Socket()}) {
        if (s->State() == net::wsClosed) ApplySocksSettings(*s);
    }
}

void TCustomFtpCli::ApplySocksSettings(net::TWSocket& socket) {
    socksErrorCode_ = 0;
    socksErrorText_.clear();
    socket.OnSocksError = [this](net::TCustomWSocket*, int Error, const std::string& Msg) {
        socksErrorCode_ = Error;
        socksErrorText_ = Msg;
    };
    socket.SetSocksServer(socks_.server);
    socket.SetSocksPort(socks_.port);
    socket.SetSocksLevel(socks_.level);
    socket.SetSocksUsercode(socks_.userCode);
    socket.SetSocksPassword(socks_.password);
    // User/password is offered only with a user code to offer: a proxy that takes no
    // authentication refuses a client whose one method is user/password.
    const bool withUser = socks_.authenticate && !socks_.userCode.empty();
    socket.SetSocksAuthentication(withUser ? net::socksAuthenticateUsercode
                                           : net::socksNoAuthentication);
}

std::string TCustomFtpCli::ConnectErrorLine(uint16_t Error) const {
    if (Error != 0 && Error == socksErrorCode_)
        return "500 " + socksErrorText_ + " (SOCKS error #" + std::to_string(Error) + ")";
    return "500 " + net::WinsockErrorText(Error) + " (Winsock error #" + std::to_string(Error) +
           ")";
}

}  // namespace tarnwick::ftp
