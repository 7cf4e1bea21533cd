#include "update/fetch_ahead.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "platform/environment.h"

#ifndef SORANA_DEFAULT_PARALLEL_FETCHES
#define SORANA_DEFAULT_PARALLEL_FETCHES 4
#endif

namespace sorana::update {

using download::EipwHTTP;
using download::TipwHTTP;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kMostLanes = 16;
constexpr int kReceive = 1;  // the Direction of every event: a download
// The window's messages are processed this often while a file ahead is waited for, as during a fetch.
constexpr auto kPumpInterval = std::chrono::milliseconds(5);

}  // namespace

int ParallelFetches() {
  std::string text = platform::EnvironmentVariable("SORANA_PARALLEL_FETCHES").value_or(std::string());
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 1 ||
      value > kMostLanes) {
    value = SORANA_DEFAULT_PARALLEL_FETCHES;
  }
  return std::clamp(value, 1, kMostLanes);
}

struct FetchAhead::Lane {
  TipwHTTP http;
  std::optional<size_t> position;  // the file it fetches, while it runs
};

// A file fetched ahead: what its transfer said, held back until its turn.
struct FetchAhead::Ahead {
  Lane* lane = nullptr;  // while the transfer runs
  bool live = false;     // its turn came: events go to the progress as they come
  bool taken = false;
  std::vector<std::pair<std::string, std::string>> headers;
  bool started = false;
  int64_t bytes = 0;
  bool ended = false;
  std::optional<std::pair<int, std::string>> errorEvent;
  bool over = false;
  TipwHTTP::Response response;
  std::optional<EipwHTTP> error;
};

namespace {

// The server or proxy would not serve one more connection (no answer at all,
// or one that says so): the file is the driver's to fetch at its turn.
bool Refused(const std::optional<EipwHTTP>& error, const TipwHTTP::Response& response) {
  if (!error || error->Code() == EipwHTTP::kStopped) return false;
  const int status = response.status;
  return status == 0 || status == 407 || status == 429 || status == 503;
}

}  // namespace

FetchAhead::FetchAhead(int lanes, download::TransferProgress& progress, std::function<void(int)> pump)
    : lanes_(std::clamp(lanes, 1, kMostLanes)),
      allowed_(lanes_),
      progress_(progress),
      pump_(std::move(pump)) {}

FetchAhead::~FetchAhead() {
  for (auto& lane : pool_) {
    if (lane->position) Halt(*lane);
  }
}

void FetchAhead::SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle) {
  connect_ = connect;
  idle_ = idle;
  for (auto& lane : pool_) lane->http.SetTimeouts(connect, idle);
}

void FetchAhead::SetStallLimit(int64_t bytesPerSecond, std::chrono::milliseconds window) {
  stallRate_ = bytesPerSecond;
  stallWindow_ = window;
  for (auto& lane : pool_) lane->http.SetStallLimit(bytesPerSecond, window);
}

void FetchAhead::BeginPhase(std::vector<std::string> names, std::vector<std::string> urls,
                            const KeptDownloads& kept, Prepare prepare) {
  // Whatever a run that was thrown out of left running ends now.
  for (auto& lane : pool_) {
    if (lane->position) Halt(*lane);
  }
  ahead_.clear();
  names_ = std::move(names);
  urls_ = std::move(urls);
  mayGoAhead_.assign(names_.size(), true);
  for (size_t i = 0; i < names_.size(); ++i) mayGoAhead_[i] = !kept.Holds(names_[i]);
  prepare_ = std::move(prepare);
  turn_ = next_ = 0;
  blocked_ = stopped_ = ranAhead_ = false;
  allowed_ = lanes_;
}

size_t FetchAhead::Running() const {
  return static_cast<size_t>(
      std::count_if(pool_.begin(), pool_.end(), [](auto& lane) { return lane->position; }));
}

void FetchAhead::Service() {
  for (auto& lane : pool_) {
    if (lane->position && !ahead_.at(*lane->position).live && lane->http.Poll(0)) Conclude(*lane);
  }
  // Nothing goes ahead before the first file came through the driver's own
  // connection: a proxy's login is known then, and a server that takes one
  // connection only has given it to the driver.
  if (allowed_ == 1) {
    // Down to the driver's own: the idle lanes' connections go, so that a
    // server that counts them lets the driver's through.
    std::erase_if(pool_, [](const auto& lane) { return !lane->position; });
  }
  if (stopped_ || blocked_ || turn_ == 0) return;
  // The driver's component counts while it fetches the file whose turn it is.
  while (Running() + (ahead_.count(turn_) > 0 ? 0 : 1) < static_cast<size_t>(allowed_)) {
    next_ = std::max(next_, turn_ + 1);
    // A name listed again while its earlier entry is still to come waits for its turn.
    while (next_ < names_.size() &&
           (!mayGoAhead_[next_] || std::find(names_.begin() + static_cast<ptrdiff_t>(turn_),
                                             names_.begin() + static_cast<ptrdiff_t>(next_), names_[next_]) !=
                                       names_.begin() + static_cast<ptrdiff_t>(next_))) {
      ++next_;
    }
    if (next_ >= names_.size() || next_ > turn_ + Reach(lanes_)) return;
    auto free = std::find_if(pool_.begin(), pool_.end(), [](auto& lane) { return !lane->position; });
    if (free == pool_.end()) {
      try {
        pool_.push_back(std::make_unique<Lane>());
      } catch (...) {
        allowed_ = static_cast<int>(Running()) + 1;  // no more components: fewer lanes
        return;
      }
      free = pool_.end() - 1;
      Lane& lane = **free;
      lane.http.SetTimeouts(connect_, idle_);
      lane.http.SetStallLimit(stallRate_, stallWindow_);
      auto record = [this, &lane]() -> Ahead& { return ahead_.at(*lane.position); };
      lane.http.OnHeader = [this, record](const std::string& field, const std::string& value) {
        Ahead& a = record();
        if (a.live) {
          progress_.ipwHTTPHeader(field, value);
        } else {
          a.headers.emplace_back(field, value);
        }
      };
      lane.http.OnStartTransfer = [this, record](int direction) {
        Ahead& a = record();
        if (a.live) progress_.ipwHTTPStartTransfer(direction);
        a.started = true;
      };
      lane.http.OnTransfer = [this, record](int direction, int64_t bytes, std::string_view text) {
        Ahead& a = record();
        if (a.live) progress_.ipwHTTPTransfer(direction, bytes, text);
        a.bytes = bytes;
      };
      lane.http.OnEndTransfer = [this, record](int direction) {
        Ahead& a = record();
        if (a.live) progress_.ipwHTTPEndTransfer(direction);
        a.ended = true;
      };
      lane.http.OnError = [this, record](int code, const std::string& description) {
        Ahead& a = record();
        if (a.live) {
          progress_.ipwHTTPError(code, description);
        } else {
          a.errorEvent.emplace(code, description);
        }
      };
    }
    Start(**free, next_++);
  }
}

void FetchAhead::Start(Lane& lane, size_t position) {
  Ahead& a = ahead_[position];
  a = Ahead{};
  try {
    lane.http.ClearState();
    prepare_(lane.http, names_[position]);
    // A cut file is judged at its turn, by what the server said of it.
    lane.http.KeepPartial = true;
    lane.http.Begin(urls_[position]);
  } catch (...) {
    // The driver meets whatever this is at the file's turn.
    ahead_.erase(position);
    return;
  }
  a.lane = &lane;
  lane.position = position;
  ranAhead_ = true;
}

void FetchAhead::Conclude(Lane& lane) {
  Ahead& a = ahead_.at(*lane.position);
  try {
    lane.http.End();
  } catch (const EipwHTTP& error) {
    a.error = error;
  }
  a.response = lane.http.LastResponse();
  a.over = true;
  a.lane = nullptr;
  lane.position.reset();
  if (Refused(a.error, a.response)) {
    allowed_ = std::max(1, allowed_ - 1);
  } else if (a.error && !a.live) {
    blocked_ = true;  // the run ends at this file's turn: nothing after it is needed
  }
}

void FetchAhead::Halt(Lane& lane) {
  lane.http.StopTransfer();
  lane.http.Poll(0);  // over at once once stopped
  Conclude(lane);
}

bool FetchAhead::GiveWay(const EipwHTTP& error, const TipwHTTP::Response& response) {
  // Once a phase: what refuses the driver's own connection with nothing ahead is the server's answer.
  if (!ranAhead_ || !Refused(error, response)) return false;
  ranAhead_ = false;
  for (auto& lane : pool_) {
    if (!lane->position) continue;
    const size_t position = *lane->position;
    Halt(*lane);
    ahead_.erase(position);
  }
  pool_.clear();
  allowed_ = 1;
  return true;
}

void FetchAhead::StopAll() {
  stopped_ = true;
  for (auto& lane : pool_) {
    if (!lane->position) continue;
    // The one whose turn it is ends in Take, which waits on it.
    if (ahead_.at(*lane->position).live) {
      lane->http.StopTransfer();
    } else {
      Halt(*lane);
    }
  }
}

bool FetchAhead::Take(size_t position) {
  turn_ = position;
  std::erase_if(ahead_,
                [&](const auto& entry) { return entry.first < position && entry.second.lane == nullptr; });
  Service();
  auto found = ahead_.find(position);
  if (found == ahead_.end()) return false;
  Ahead& a = found->second;
  if (a.over && Refused(a.error, a.response)) {
    ahead_.erase(found);
    return false;
  }
  a.live = true;
  a.taken = true;
  std::optional<EipwHTTP> failure;
  try {
    // What already happened, at once, as the events of a fetch would have said it.
    for (const auto& [field, value] : a.headers) progress_.ipwHTTPHeader(field, value);
    if (a.started) progress_.ipwHTTPStartTransfer(kReceive);
    if (a.bytes > 0) progress_.ipwHTTPTransfer(kReceive, a.bytes, {});
  } catch (const EipwHTTP& error) {
    // A header the progress refuses ends the transfer, as it would have during a fetch.
    failure = error;
    if (a.lane) Halt(*a.lane);
  }
  if (!failure && a.lane) {
    // The rest as it comes, while the window processes its messages.
    Lane& lane = *a.lane;
    Clock::time_point lastPump = Clock::now();
    while (!lane.http.Poll(TipwHTTP::kPollMs)) {
      if (Clock::now() - lastPump >= kPumpInterval) {
        lastPump = Clock::now();
        pump_(0);
      }
      Service();
    }
    Conclude(lane);
    if (!a.started && Refused(a.error, a.response)) {
      ahead_.erase(position);
      return false;
    }
  } else if (!failure) {
    if (a.ended) progress_.ipwHTTPEndTransfer(kReceive);
    if (a.errorEvent) progress_.ipwHTTPError(a.errorEvent->first, a.errorEvent->second);
  }
  if (!failure) failure = a.error;
  if (failure) throw *failure;
  return true;
}

const TipwHTTP::Response* FetchAhead::Answer(size_t position) const {
  auto found = ahead_.find(position);
  return found != ahead_.end() && found->second.taken ? &found->second.response : nullptr;
}

void FetchAhead::EndPhase(KeptDownloads& kept) {
  for (auto& lane : pool_) {
    if (lane->position) Halt(*lane);
  }
  for (const auto& [position, a] : ahead_) {
    if (!a.taken && a.over) kept.Arrived(names_[position], a.response, a.error.has_value());
  }
  ahead_.clear();
  stopped_ = true;
}

}  // namespace sorana::update
