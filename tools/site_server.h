// A plain HTTP/1.1 file server for an update site: GET and HEAD of the files
// below one folder, with Content-Length and keep-alive, on loopback unless told
// otherwise. Paths that lead outside the folder (through "..", or a symbolic
// link) are refused.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace httplib {
class Server;
}

namespace sorana::tools {

struct ServeOptions {
  std::filesystem::path root;
  std::string bind = "127.0.0.1";
  int port = 8080;              // 0: any free port
  uint64_t bytesPerSecond = 0;  // 0: unthrottled; else each response is paced to this rate
  bool logRequests = true;      // one line per request on standard error
};

// What a decoded request path names below `canonicalRoot` (which must be
// canonical): a regular file, a place outside the root, or nothing servable.
struct Resolution {
  enum class Kind { File, Outside, Missing };
  Kind kind = Kind::Missing;
  std::filesystem::path file;  // for Kind::File
};
Resolution ResolveBelow(const std::filesystem::path& canonicalRoot, std::string_view requestPath);

class SiteServer {
 public:
  explicit SiteServer(ServeOptions options);
  ~SiteServer();
  SiteServer(const SiteServer&) = delete;
  SiteServer& operator=(const SiteServer&) = delete;

  // Binds and starts serving on a thread of its own; returns the port. Throws
  // SiteError when the folder is missing or the address cannot be bound.
  int Start();
  // Stops serving (open transfers are cut) and waits for the server's threads.
  void Stop();

  // "http://<bind>:<port>"
  std::string Url() const;

 private:
  ServeOptions options_;
  std::filesystem::path canonicalRoot_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace sorana::tools
