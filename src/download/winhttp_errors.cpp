#include "download/winhttp_errors.h"

#include <windows.h>
#include <winhttp.h>

#include <iterator>

namespace sorana::download {

namespace {

struct ErrorText {
  unsigned long code;
  const char* text;
};

// The codes a fetch meets in practice; the rest come from the system's message tables.
constexpr ErrorText kTexts[] = {
    {ERROR_WINHTTP_OUT_OF_HANDLES, "No more handles could be generated"},
    {ERROR_WINHTTP_TIMEOUT, "The operation timed out"},
    {ERROR_WINHTTP_INTERNAL_ERROR, "An internal error occurred in WinHTTP"},
    {ERROR_WINHTTP_INVALID_URL, "The URL is invalid"},
    {ERROR_WINHTTP_UNRECOGNIZED_SCHEME, "The URL uses a scheme other than http or https"},
    {ERROR_WINHTTP_NAME_NOT_RESOLVED, "The server name could not be resolved"},
    {ERROR_WINHTTP_OPERATION_CANCELLED, "The operation was cancelled"},
    {ERROR_WINHTTP_CANNOT_CONNECT, "Could not connect to the server"},
    {ERROR_WINHTTP_CONNECTION_ERROR, "The connection with the server was reset or ended"},
    {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, "The server response could not be parsed"},
    {ERROR_WINHTTP_HEADER_NOT_FOUND, "The requested header was not found"},
    {ERROR_WINHTTP_SECURE_FAILURE, "The server's certificate failed the security checks"},
    {ERROR_WINHTTP_SECURE_INVALID_CA, "The server's certificate was issued by an authority that is not trusted"},
    {ERROR_WINHTTP_SECURE_CERT_CN_INVALID, "The server's certificate names another host"},
    {ERROR_WINHTTP_SECURE_CERT_DATE_INVALID, "The server's certificate has expired or is not yet valid"},
    {ERROR_WINHTTP_SECURE_INVALID_CERT, "The server's certificate is invalid"},
    {ERROR_WINHTTP_SECURE_CERT_REVOKED, "The server's certificate has been revoked"},
    {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, "A secure channel to the server could not be established"},
    {ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED, "The server asks for a client certificate"},
    {ERROR_WINHTTP_REDIRECT_FAILED, "The redirection failed"},
};

std::string FromMessageTable(unsigned long code) {
  wchar_t* buffer = nullptr;
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  HMODULE winhttp = GetModuleHandleW(L"winhttp.dll");
  if (winhttp != nullptr) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  DWORD length = FormatMessageW(flags, winhttp, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (length > 0) {
    int size = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    text.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), text.data(), size, nullptr, nullptr);
  }
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

std::string WinHttpErrorText(unsigned long code) {
  for (const ErrorText& entry : kTexts) {
    if (entry.code == code) return entry.text;
  }
  std::string text = FromMessageTable(code);
  return text.empty() ? "WinHTTP error " + std::to_string(code) : text;
}

}  // namespace sorana::download
