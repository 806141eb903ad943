#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The supply's line protocol: short ASCII commands ended by a single carriage return, no line
// feed, no length, checksum or address. Requests start with "REQ"; a reply starts with "ACK"
// followed by the request's name.
namespace pelmora::protocol {

inline constexpr char kTerminator = '\r';

inline constexpr std::string_view kIdentityRequest = "REQPN\r";
inline constexpr std::string_view kResetCommand = "RST\r";
inline constexpr std::string_view kCurrentRequest = "REQA\r";
inline constexpr char kVoltageCommandLead = 'V';
// "V" + positive code + negative code + "\r".
inline constexpr std::size_t kVoltageCommandLength = 8;

// Identity reply, 15 bytes:
//   Bytes 0-2:   "ACK"
//   Bytes 3-4:   "PN"
//   Bytes 5-10:  model word "DRELVO"
//   Byte  11:    "V"
//   Bytes 12-13: "99"
//   Byte  14:    "\r"
// Anything after byte 14 is not examined.
inline constexpr std::string_view kIdentityReply = "ACKPNDRELVOV99\r";
inline constexpr std::string_view kIdentityReplyStem = "ACKPNDRELVOV";
// What precedes the model in the identity reply: "ACK" and "PN".
inline constexpr std::string_view kIdentityPrefix = "ACKPN";

// Current reply:
//   Bytes 0-3:  "ACKA"
//   Byte  4:    separator, not examined
//   Bytes 5-7:  positive rail current in mA, decimal
//   Byte  8:    separator, not examined
//   Bytes 9-11: negative rail current in mA, decimal
// Anything from byte 12 on is not examined; no closing "\r" is needed.
inline constexpr std::string_view kCurrentReplyPrefix = "ACKA";
inline constexpr std::size_t kPositiveFieldOffset = 5;
inline constexpr std::size_t kNegativeFieldOffset = 9;
inline constexpr std::size_t kCurrentFieldLength = 3;
// The whole current reply as the supply sends it: "ACKA,012,034\r".
inline constexpr std::size_t kCurrentReplyLength = 13;

// Every exchange that takes a reply reads at most this many bytes, once.
inline constexpr int kReplyCapacity = 30;

inline constexpr int kBaudRate = 921600;

// Pause after the voltage command; the other commands pause for the host wait time instead.
inline constexpr int kVoltageSettleMs = 100;

struct CurrentReading {
    int positiveMa = 0;
    int negativeMa = 0;
};

// The reply text of one read: the bytes delivered, ended early by a NUL byte among them.
std::string ReplyText(const char* bytes, int count);

std::string BuildVoltageCommand(std::string_view positiveCode, std::string_view negativeCode);

// True when the first fifteen bytes are exactly the identity reply.
bool IsIdentityReply(std::string_view reply);

// The model the identity reply names, "DRELVOV99" out of "ACKPNDRELVOV99\r".
std::string ModelOf(std::string_view identity);

// Empty when the reply does not begin with "ACKA"; fields cut short by the end of the reply
// read as far as they go (an empty field reads 0).
std::optional<CurrentReading> ParseCurrentReply(std::string_view reply);

// Stricter, for a reply read up to its "\r": empty unless it is exactly "ACKA", a separator,
// three characters, a separator, three characters and "\r", where each field is a decimal
// number filling its three characters (blanks first, then an optional sign, then digits).
std::optional<CurrentReading> ParseWholeCurrentReply(std::string_view reply);

} // namespace pelmora::protocol
