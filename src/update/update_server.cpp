#include "update/update_server.h"

#include "catalogue/catalogue.h"
#include "platform/environment.h"

#ifndef SORANA_DEFAULT_UPDATE_SERVER
#define SORANA_DEFAULT_UPDATE_SERVER "http://update.invalid"
#endif

namespace sorana::update {

std::string UpdateServer() {
  std::string server = platform::EnvironmentVariable("SORANA_UPDATE_SERVER").value_or(std::string());
  if (server.empty()) server = SORANA_DEFAULT_UPDATE_SERVER;
  while (!server.empty() && server.back() == '/') server.pop_back();
  return server;
}

std::string ComponentUrl(std::string_view server, bool oldPhase, std::string_view fileName) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url(server);
  url += catalogue::PhasePath(oldPhase);
  for (char ch : fileName) {
    auto byte = static_cast<unsigned char>(ch);
    bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                      (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                      byte == '~';
    if (unreserved) {
      url += ch;
    } else {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 0x0F];
    }
  }
  return url;
}

}  // namespace sorana::update
