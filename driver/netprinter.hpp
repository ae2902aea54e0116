// A network printer on the raw printing port (socket://HOST[:PORT], AppSocket): the same bytes
// as for a printer on a port, over a TCP connection. The connection is opened when a request
// has bytes for the printer and shared by the requests of a job; it is released at the end of
// a job, after kIdleReleaseSec without a request and at exit, since such a printer serves one
// connection at a time.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace qx5 {

constexpr int kNetworkPort = 9100;
constexpr int kIdleReleaseSec = 5;

struct NetAddress {
  std::string host;  // a name, an IPv4 address, or an IPv6 address without its brackets
  int port = kNetworkPort;
  std::string name;  // socket://HOST:PORT, as messages name the printer
};

enum class NetParse { kNotNetwork, kValid, kBad };

// Reads socket://HOST[:PORT] (the scheme in any case; an IPv6 address in brackets; PORT 1 to
// 65535, 9100 when omitted). kNotNetwork for any other word; kBad for a socket:// address that
// is not one.
NetParse ParseNetAddress(std::string_view text, NetAddress& out);

// The printer this process writes to; forgets any open connection's state.
void SetNetPrinter(const NetAddress& address);
const NetAddress& NetPrinter();

// Writes n bytes to the printer, connecting first when no connection is open (name look-up and
// connection together bounded by ALARM_SEC). Returns the bytes the printer took: all of them,
// or, when it failed, a line names the address and the reason and the connection is dropped at
// once. SigAlarm is 1 when a time-out ended it.
size_t NetPrinterWrite(const char* data, size_t n);

// True while a connection is open.
bool NetPrinterConnected();

// Drops a connection that the printer has closed since the last write (a line says so), so
// that the next bytes go on a new connection and not into one that nobody reads.
void NetPrinterForgetClosed();

// Ends the connection when one is open: the printer gets every byte and the end of the data,
// what it still sends is read until it closes its side (waiting as long as it keeps taking
// the last bytes, then a second at most), and the counts are printed. A new connection begins
// a new job on the printer, so the next request initialises it again.
void NetPrinterRelease();

}  // namespace qx5
