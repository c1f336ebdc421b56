#pragma once
// HTTP requests in the manner of WinInet, for a worker thread: blocking calls
// over our own sockets, every wait bounded by a time-out.
//
// - Handles: a session (InternetOpen), a connection to one server
//   (InternetConnect) and a request (HttpOpenRequest). A handle keeps the
//   handle it was made from alive.
// - HttpSendRequest looks the host up, connects, sends the request and reads
//   the status line and the header; InternetReadFile then reads the body, up
//   to the length the server announced, or until it closes the connection.
//   An answer with a Transfer-Encoding other than "identity" (chunked...) is
//   not a valid answer here (ERROR_HTTP_INVALID_SERVER_RESPONSE): its body
//   could not be read as it stands.
// - The request carries, in this order: the request line, Host (with the
//   port when it is not 80), User-Agent (only when the session's agent is
//   not empty), Accept (the accept types joined by ", ", only when there are
//   any), Referer (only when not empty), Authorization (Basic, only when a
//   user name was given), the caller's own header lines, and Content-Length
//   when the request has a body.
// - Only HTTP/1.0 is spoken. No redirects: a 3xx answer is returned as it
//   stands. No proxy: every access type connects directly. No cache: every
//   request goes to the server, whatever INTERNET_FLAG_RELOAD says.
// - A host under a name reserved for examples and tests (".example" and the
//   like, sockets::isReservedHost) fails at once, without a look-up.
// - Time-outs: the look-up and the connection are bounded by the connect
//   time-out, every send and every read by the receive time-out. A handle's
//   time-outs are taken from the handle it is made from when it is made;
//   InternetSetOption with no handle sets those of sessions opened later.
// - InternetCloseHandle may be called from another thread while a call on
//   that handle, or on a handle made from it, is blocked: the call ends at
//   once with ERROR_INTERNET_OPERATION_CANCELLED, and every later call on the
//   closed handle fails. The handle's resources go with its last reference.
//
// A failed call returns false (or an empty handle) and sets GetLastError() of
// the calling thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wininet {

using DWORD = uint32_t;

struct InternetObject;
using HINTERNET = std::shared_ptr<InternetObject>;

enum : DWORD {
    INTERNET_OPEN_TYPE_PRECONFIG = 0,
    INTERNET_OPEN_TYPE_DIRECT = 1,
    INTERNET_SERVICE_HTTP = 3,
    INTERNET_FLAG_RELOAD = 0x80000000u,
};

inline constexpr uint16_t INTERNET_DEFAULT_HTTP_PORT = 80;

// HttpQueryInfo levels.
enum : DWORD {
    HTTP_QUERY_CONTENT_LENGTH = 5,
    HTTP_QUERY_STATUS_CODE = 19,
    HTTP_QUERY_STATUS_TEXT = 20,
    HTTP_QUERY_RAW_HEADERS_CRLF = 22,
};

// InternetSetOption options (milliseconds).
enum : DWORD {
    INTERNET_OPTION_CONNECT_TIMEOUT = 2,
    INTERNET_OPTION_RECEIVE_TIMEOUT = 6,
};

// Time-outs of sessions until InternetSetOption says otherwise.
inline constexpr DWORD DefaultConnectTimeout = 60000;
inline constexpr DWORD DefaultReceiveTimeout = 60000;

// Error codes.
enum : DWORD {
    ERROR_INVALID_HANDLE = 6,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_INSUFFICIENT_BUFFER = 122,
    ERROR_INTERNET_TIMEOUT = 12002,
    ERROR_INTERNET_INTERNAL_ERROR = 12004,
    ERROR_INTERNET_INVALID_URL = 12005,
    ERROR_INTERNET_NAME_NOT_RESOLVED = 12007,
    ERROR_INTERNET_OPERATION_CANCELLED = 12017,
    ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018,
    ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019,
    ERROR_INTERNET_CANNOT_CONNECT = 12029,
    ERROR_INTERNET_CONNECTION_ABORTED = 12030,
    ERROR_INTERNET_CONNECTION_RESET = 12031,
    ERROR_HTTP_HEADER_NOT_FOUND = 12150,
    ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152,
};

// The error of the last failed call on this thread.
DWORD GetLastError() noexcept;

// A session. Agent goes out as User-Agent unless it is empty. Texts that
// would break a header line (line ends, other control characters) are
// refused with ERROR_INVALID_PARAMETER, here and below.
HINTERNET InternetOpen(const std::string& Agent, DWORD AccessType, DWORD Flags);

// A connection to ServerName (a host name or a dotted address) at
// ServerPort; nothing goes over the network before HttpSendRequest.
HINTERNET InternetConnect(const HINTERNET& Internet, const std::string& ServerName, uint16_t ServerPort,
                          const std::string& UserName, const std::string& Password, DWORD Service, DWORD Flags);

// A request. Verb is "GET" or "POST" (empty means GET); ObjectName is the
// path, sent with every byte that cannot stand in a request line (blanks,
// control characters, bytes above 126) percent-encoded; Version must be
// "HTTP/1.0" or empty.
HINTERNET HttpOpenRequest(const HINTERNET& Connect, const std::string& Verb, const std::string& ObjectName,
                          const std::string& Version, const std::string& Referrer,
                          const std::vector<std::string>& AcceptTypes, DWORD Flags);

// Sends the request once: Headers (lines ending in CR LF, or empty) after the
// request's own, then Optional as the body. True once the server's status
// line and header have been read, whatever the status.
bool HttpSendRequest(const HINTERNET& Request, const std::string& Headers, const std::string& Optional);

// A part of the answer as text with a terminating zero in Buffer; on success
// BufferLength becomes its length without the zero. A buffer that is too
// small fails with ERROR_INSUFFICIENT_BUFFER and BufferLength set to the size
// needed; a header the answer lacks fails with ERROR_HTTP_HEADER_NOT_FOUND.
// Header names are compared without letter case; the first header counts.
bool HttpQueryInfo(const HINTERNET& Request, DWORD InfoLevel, void* Buffer, DWORD& BufferLength);

// Reads body bytes until Buffer is full or the body ends (the announced length
// reached or the connection closed); NumberOfBytesRead 0 means the end. A
// reset connection, the time-out or a close from another thread fails.
bool InternetReadFile(const HINTERNET& File, void* Buffer, DWORD NumberOfBytesToRead, DWORD& NumberOfBytesRead);

// Sets a time-out of the handle, or with an empty handle of sessions opened
// later.
bool InternetSetOption(const HINTERNET& Internet, DWORD Option, DWORD Value);

// Closes the handle; any thread may call it (see above). Closing a handle
// twice fails with ERROR_INVALID_HANDLE.
bool InternetCloseHandle(const HINTERNET& Internet);

}  // namespace wininet
