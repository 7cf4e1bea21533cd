// The transfer events of the HTTP components: progress of the current file and
// of the phase, the announced body length, whether each file arrived whole and
// whether the phase is complete, and component errors.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "download/tipw_http.h"
#include "form/form_state.h"
#include "form/update_window.h"

namespace sorana::download {

class TransferProgress {
 public:
  TransferProgress(form::FormState& state, form::UpdateWindow& window) : state_(state), window_(window) {}

  // Sends the component's five events to the handlers below.
  void Attach(TipwHTTP& http);
  // A file an earlier attempt left whole, which the server says is unchanged:
  // shown as a transfer of all its bytes at once.
  void KeptFile(int64_t size);

  // Throws EipwHTTP when a Content-Length is not a decimal 32-bit integer; the
  // component turns that into the fetch's error.
  void ipwHTTPHeader(const std::string& Field, const std::string& Value);
  void ipwHTTPStartTransfer(int Direction);
  void ipwHTTPTransfer(int Direction, int64_t BytesTransferred, std::string_view Text);
  // A file counts as whole when the bytes received equal the announced length;
  // the phase is complete when its last file is whole and so was every other.
  void ipwHTTPEndTransfer(int Direction);
  void ipwHTTPError(int ErrorCode, const std::string& Description);

 private:
  form::FormState& state_;
  form::UpdateWindow& window_;
};

// A length in its shortest decimal form, never in exponent notation:
// "81920", "100000", "2147483647", "0.5".
std::string ShortestDecimal(double value);

}  // namespace sorana::download
