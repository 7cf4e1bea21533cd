// TipwHTTP asking again for a file kept from an earlier fetch: conditional
// requests and ranges.
#include "download/tipw_http.h"

#include <gtest/gtest.h>

#include "tipw_http_fixture.h"

namespace sorana::download {
namespace {

using namespace tipw_test;

// A file kept from an earlier fetch is asked for again: whole (conditional) or
// from where it was cut (a range); what the server answers decides what
// LocalFile holds, and it never mixes two versions.
TEST_F(TipwHTTPTest, KeptFileIsAskedOnlyForWhatIsMissing) {
  server_.SetValidators(true);
  ASSERT_EQ(FetchCode("a.bin"), 0);
  const TipwHTTP::Response first = http_.LastResponse();
  ASSERT_FALSE(first.eTag.empty());
  EXPECT_EQ(first.entityLength, 300000);
  const std::string whole = Bytes(300000);
  const std::string changed = std::string(300000, 'z');
  struct Row {
    const char* name;
    HttpFault fault;
    bool conditional;  // else a range from byte 100000
    bool changeFile;
    int code;
    std::string bytes;  // what LocalFile holds afterwards
  };
  const Row rows[] = {
      {"unchanged: 304, kept", HttpFault::None, true, false, 0, whole},
      {"cut: the rest appended", HttpFault::None, false, false, 0, whole},
      {"ranges ignored: rewritten", HttpFault::IgnoreRanges, false, false, 0, whole},
      {"wrong range: untouched", HttpFault::WrongRange, false, false, EipwHTTP::kBadRange,
       whole.substr(0, 100000)},
      {"changed: rewritten", HttpFault::None, false, true, 0, changed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::TempPrefix::WriteFile(Local(), row.conditional ? whole : whole.substr(0, 100000));
    if (row.changeFile) test::TempPrefix::WriteFile(server_.Root() / "f" / "a.bin", changed);
    server_.SetFault("a.bin", row.fault);
    http_.ClearState();
    if (row.conditional) {
      http_.IfNoneMatch = first.eTag;
    } else {
      http_.StartByte = 100000;
      http_.IfRange = first.eTag;
    }
    EXPECT_EQ(FetchCode("a.bin"), row.code) << message_;
    EXPECT_TRUE(test::TempPrefix::ReadFile(Local()) == row.bytes);
    EXPECT_EQ(http_.NotModified(), row.conditional);
    // A kept or refused file fires no transfer events; a continued one reports the whole length.
    EXPECT_EQ(events_.find('S') == std::string::npos, row.conditional || row.code != 0) << events_;
    EXPECT_EQ(http_.LastResponse().entityLength, row.conditional || row.code != 0 ? -1 : 300000);
  }
}

}  // namespace
}  // namespace sorana::download
