// The service's servers as the wizard offers them and config.txt names them: a server
// address the user may give (empty: the service's own servers), the "Secure connection"
// choice and an optional file of certificate authorities. The NVXServer line carries each
// address with its scheme ("https://" reaches a server over TLS, "http://" plain); a
// configuration without the line reaches the default servers plain, as every
// configuration written before the choice existed does, and the wizard leaves it so until
// the user asks for a secure connection. Pure functions over texts, but
// DefaultServerHosts, which reads the environment. Any thread.
#ifndef NVX_WIZARD_CORE_SERVER_ADDRESS_H_
#define NVX_WIZARD_CORE_SERVER_ADDRESS_H_

#include <QString>
#include <QStringList>

namespace nvx::wizard {

struct ServerChoice {
  QString address;  // "host[:port]" entries separated by commas; empty: the default servers
  bool secure = true;
  QString ca_file;  // PEM file of the trusted authorities; empty: the system's trust store
  bool operator==(const ServerChoice&) const = default;
};

// What a configuration without NVXServer and NVXServerCA lines means.
inline const ServerChoice kPlainDefaultServers{{}, false, {}};

// The longest NVXServer value the job runner takes; a longer one makes the whole file
// invalid, and no job would run.
inline constexpr qsizetype kServerSettingMaxLength = 511;
inline constexpr char kServerSettingTooLongMessage[] =
    "The server address is too long for the backup configuration: give fewer or shorter "
    "server names";

inline constexpr char kServerAddressInvalidMessage[] =
    "The server address is not valid: give a host name or address, optionally followed by "
    "\":\" and a port, or leave it empty for the Norrvault servers";

// The default servers' "host[:port]" entries, as the library builds its default list:
// NVX_SERVER's entries (without their scheme) when it names any, else "b2." and "b1."
// before the service's host name.
QStringList DefaultServerHosts();

// `entry` without a leading "https://" or "http://" (any letter case) and blanks.
QString WithoutScheme(const QString& entry);

// True when every entry of `address` is a host without blanks, optionally after a scheme
// and followed by ":" and a port of 1 to 65535. The empty address is valid.
bool ServerAddressValid(const QString& address);

// The NVXServer value of `choice`; empty when no line is written (the default servers,
// plain). An entry is "https://" + host when the choice is secure or the user wrote the
// entry so, else "http://" + host.
QString ServerSetting(const ServerChoice& choice);

// The NVXServer and NVXServerCA lines of `choice`: none, one or two.
QStringList ServerLines(const ServerChoice& choice);

// The choice the lines of a configuration describe, read as the job runner reads them
// (letter case ignored, the last line of each keyword wins). A list that is the default
// servers' shows as the empty address; secure only when every entry is "https://".
ServerChoice ServerChoiceFromLines(const QStringList& lines);

// `lines` with their NVXServer and NVXServerCA lines replaced by those of `choice`, which
// follow the first password line (else the first ID line, else begin the file).
QStringList ServerChoiceLines(const QStringList& lines, const ServerChoice& choice);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_SERVER_ADDRESS_H_
