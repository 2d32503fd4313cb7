#pragma once

// Pieces shared by the socket classes; not part of the public interface (tests use the hooks).

#include <cstdint>
#include <functional>
#include <string>

namespace vornnet {

// Process-wide state of the socket API. Every open socket is registered with a serial number
// and the generation of the API it was opened under; stopping the API shuts every registered
// socket down so that blocked calls return, and a socket of an older generation is dead.
bool ApiRunning();
// Starts the API; returns false when it was already running.
bool ApiStart();
// Stops the API and shuts down every open socket. Returns false when it was not running.
bool ApiStop();

// Opens a socket and registers it; -1 with errno set on failure (ENETDOWN when stopped).
int OpenSocket(int family, int type, int protocol, uint64_t* serial);
// Registers a descriptor obtained otherwise (accept); closes it and returns -1 when stopped.
int AdoptSocket(int fd, uint64_t* serial);
// Unregisters and closes fd if it is still the socket with this serial. 1 closed, 0 not ours,
// -1 the close call failed (errno set).
int CloseSocket(int fd, uint64_t serial);
// Shuts fd down in both directions if it is still the socket with this serial.
void ShutdownSocket(int fd, uint64_t serial);
// Serial of an open registered fd, or 0.
uint64_t SerialOf(int fd);
// True while fd is the registered socket with this serial and its generation is current.
bool SocketAlive(int fd, uint64_t serial);

// Last error of a socket call on this thread (errno values).
void SetLastError(int err);
int LastError();

// Name resolution, IPv4. Returns 0 and fills the dotted address (and official name when asked),
// or a non-zero resolver error code.
int ResolveName(const char* name, std::string* addr, std::string* canon);
// Reverse look-up of a dotted address; 0 and the name, or non-zero.
int ResolveAddr(const char* dotted, std::string* name);
bool IsDottedAddress(const char* host);

// Test hook: when set, replaces the system resolver for forward look-ups. It may block.
using ResolveHook = std::function<int(const std::string& name, std::string* addr)>;
void SetResolveHook(ResolveHook hook);

// Applies a Windows-style thread priority (-15..15) to the calling thread as far as the platform
// allows; raising it needs privileges that a normal process lacks, so failures are ignored.
void ApplyThreadPriority(int priority);

} // namespace vornnet
