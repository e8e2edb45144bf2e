// The soak run's judgement of its samples, apart from how they are taken:
// whether a count grew after the first minute, and the figure lines it
// prints.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::tools::soak {

// One reading of a count (handles, objects, bytes) at a time of the run.
struct Sample {
  double seconds = 0;
  std::int64_t value = 0;
};

// A count that comes and goes with the work (a handle open during an
// exchange, a window while a conversation lasts) is flat; one that leaks
// rises for good. So the count grew when even the lowest sample of the last
// minute is above the highest of the first minute (the start-up, when the
// program makes what it keeps). Samples of -1 (not read) are left out.
struct Growth {
  std::int64_t first_minute_max = -1;
  std::int64_t last_minute_min = -1;
  bool known = false;  // both windows had samples
  bool grew = false;
};
Growth GrowthAfterFirstMinute(const std::vector<Sample>& samples, double end_seconds);

// How much `values` rose per 1000 of `events`, both sampled at the same
// times (a count of bytes against the conversations opened so far): the
// least-squares slope over the samples after the first minute, so that
// neither the start-up nor the page-sized steps of a memory count decide it.
// Nothing when fewer than two such samples were read or no event came
// between them.
std::optional<double> GrowthPerThousand(const std::vector<Sample>& values,
                                        const std::vector<Sample>& events);

// What every client received against what was published, at the end of the
// run, once every update on the way has arrived.
struct ClientTally {
  std::int64_t updates = 0;
  std::int64_t without_data = 0;
};
// Updates a client did not get: published ones it lacks, plus those that
// came without data. `slack` published ones may be uncertain (an exchange
// cut short by the stop): a client that received that many fewer lacks none.
std::int64_t Missed(const ClientTally& client, std::int64_t published, std::int64_t slack);

// "12.3 MB" with one decimal (MB of 2^20 bytes); "?" for -1.
std::string Megabytes(std::int64_t bytes);
// The number, or "?" for -1.
std::string Count(std::int64_t value);

}  // namespace quorvel::tools::soak
